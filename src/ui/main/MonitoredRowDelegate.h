#pragma once

#include <QStyledItemDelegate>

// Draws the rows of the time-limit list and the usage list: name, type and time columns between
// two dividers, alternate rows shaded, entries whose removal waits for the day's end in grey.
// The columns follow the widths of the name and type header panels of the main page.
class TMonitoredRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    TMonitoredRowDelegate(QWidget* nameHeader, QWidget* typeHeader, int rowHeight, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QWidget* m_nameHeader;
    QWidget* m_typeHeader;
    int m_rowHeight;
};
