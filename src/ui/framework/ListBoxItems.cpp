#include "ui/framework/ListBoxItems.h"

#include <QListWidget>

TListBoxItems::TListBoxItems(QListWidget* listBox)
    : m_listBox(listBox)
{
}

void TListBoxItems::BeginUpdate()
{
    if (m_updateDepth++ == 0) {
        m_listBox->setUpdatesEnabled(false);
    }
}

void TListBoxItems::EndUpdate()
{
    if (m_updateDepth > 0 && --m_updateDepth == 0) {
        m_listBox->setUpdatesEnabled(true);
    }
}

void TListBoxItems::ItemsClear()
{
    m_listBox->clear();
}

void TListBoxItems::ItemsCapacitySet(int)
{
    // A list widget grows as rows come; there is nothing to reserve.
}

void TListBoxItems::ItemAppend(const std::string& caption, TMonitoredItem* item)
{
    auto* row = new QListWidgetItem(QString::fromStdString(caption), m_listBox);
    row->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(item)));
}

TMonitoredItem* ListBoxItemObject(const QListWidget* listBox, int row)
{
    const QListWidgetItem* item = listBox->item(row);
    return item ? static_cast<TMonitoredItem*>(item->data(Qt::UserRole).value<void*>()) : nullptr;
}
