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
        // The caption comes from the user: it stays on one line, ends in "…" where its column
        // cuts it short, and an "&" in it is shown as it is.
        const QRect nameRect(QPoint(r.left() + 2, r.top()), QPoint(x1 - 2, r.bottom()));
        painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            option.fontMetrics.elidedText(QString::fromStdString(item->Caption), Qt::ElideRight, nameRect.width()));
        painter->drawText(QRect(QPoint(x1 + 4, r.top()), QPoint(x2 - 2, r.bottom())),
            Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(item->ItemTypeNameGet()));
        painter->drawText(QRect(QPoint(x2 + 4, r.top()), QPoint(r.right() - 2, r.bottom())),
            Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
            QString::fromStdString(DurationText(static_cast<int64_t>(item->Duration))));
    }
    painter->restore();
}

QSize TMonitoredRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    // No width of its own: a row as wide as a long caption would carry the time column out of view.
    return QSize(0, m_rowHeight);
}
