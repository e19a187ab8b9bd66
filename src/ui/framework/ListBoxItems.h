#pragma once

#include "model/MonitoredObjects.h"

class QListWidget;

// The list-box side of ListBoxFill for a Qt list widget. Each row keeps its item as row data,
// without owning it.
class TListBoxItems : public TListBoxSink
{
public:
    explicit TListBoxItems(QListWidget* listBox);

    void BeginUpdate() override;
    void EndUpdate() override;
    void ItemsClear() override;
    void ItemsCapacitySet(int capacity) override;
    void ItemAppend(const std::string& caption, TMonitoredItem* item) override;

private:
    QListWidget* m_listBox;
    int m_updateDepth = 0;
};

// The item a row keeps, or null for an empty row or a bad index.
TMonitoredItem* ListBoxItemObject(const QListWidget* listBox, int row);
