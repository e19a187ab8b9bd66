#include "ui/main/MonitoredRowDelegate.h"

#include "ui/main/MainDisplay.h"

#include "model/MonitoredObjects.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"

#include <QPainter>

TMonitoredRowDelegate::TMonitoredRowDelegate(QWidget* nameHeader, QWidget* typeHeader, int rowHeight, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_nameHeader(nameHeader)
    , m_typeHeader(typeHeader)
    , m_rowHeight(rowHeight)
{
}

void TMonitoredRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        painter->fillRect(r, option.palette.brush(QPalette::Highlight));
    } else {
        painter->fillRect(r, QColor::fromRgb(index.row() % 2 == 1 ? kRowOddColor : kRowEvenColor));
    }

    const TRowDividers dividers = RowDividersGet(m_nameHeader->width(), m_typeHeader->width());
    const int x1 = r.left() + dividers.X1;
    const int x2 = r.left() + dividers.X2;
    painter->setPen(QColor::fromRgb(kRowDividerColor));
    painter->drawLine(x1, r.top(), x1, r.bottom());
    painter->drawLine(x2, r.top(), x2, r.bottom());
    if (index.row() == index.model()->rowCount(index.parent()) - 1) {
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    }

    const auto* item = static_cast<const TMonitoredItem*>(index.data(Qt::UserRole).value<void*>());
    if (item) {
        QColor text = QColor::fromRgb(item->Active ? kRowTextColor : kRowInactiveTextColor);
        if (selected) {
            text = option.palette.color(QPalette::HighlightedText);
        }
        painter->setPen(text);
        painter->setFont(option.font);
        // The caption comes from the user: it stays on one line, clipped to its column, and an
        // "&" in it is shown as it is.
        painter->drawText(QRect(QPoint(r.left() + 2, r.top()), QPoint(x1 - 2, r.bottom())),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(item->Caption));
        painter->drawText(QRect(QPoint(x1 + 4, r.top()), QPoint(x2 - 2, r.bottom())),
            Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(item->ItemTypeNameGet()));
        painter->drawText(QRect(QPoint(x2 + 4, r.top()), QPoint(r.right() - 2, r.bottom())),
            Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
            QString::fromStdString(DurationText(static_cast<int64_t>(item->Duration))));
    }
    painter->restore();
}

QSize TMonitoredRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), m_rowHeight);
}
