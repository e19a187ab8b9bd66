#include "ui/config/MonitoredListDraw.h"

#include "ui/framework/ListBoxItems.h"

#include "model/MonitoredObjects.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QListWidget>
#include <QPainter>
#include <QStyleOptionButton>
#include <QToolTip>

QString ItemKindText(int itemType)
{
    return itemType == mitApp ? QStringLiteral("Application") : QStringLiteral("Web site");
}

TMonitoredListDraw::TMonitoredListDraw(int ruleX, int kindWidth, bool checkBoxes, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_ruleX(ruleX)
    , m_kindWidth(kindWidth)
    , m_checkBoxes(checkBoxes)
{
}

QSize TMonitoredListDraw::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // A row asks for no width of its own: the list makes it as wide as it shows, a long name is
    // cut short in its column, and the kind and check box stay in view under their heads
    // (a row as wide as its name would push them out, under a scroll bar the heads do not follow).
    return QSize(0, std::max(QStyledItemDelegate::sizeHint(option, index).height(), 18));
}

bool TMonitoredListDraw::helpEvent(
    QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    // A name cut short is shown whole in the tip.
    const auto* listBox = qobject_cast<const QListWidget*>(view);
    const TMonitoredItem* item = listBox ? ListBoxItemObject(listBox, index.row()) : nullptr;
    if (event && event->type() == QEvent::ToolTip && item) {
        const QString caption = QString::fromStdString(item->Caption);
        if (option.fontMetrics.horizontalAdvance(caption) > NameWidth()) {
            QToolTip::showText(event->globalPos(), caption, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

int TMonitoredListDraw::NameWidth() const
{
    return m_ruleX - 4;
}

void TMonitoredListDraw::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect row = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(row,
        selected ? option.palette.highlight().color()
                 : (index.row() % 2 == 0 ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xF1, 0xF1, 0xF1)));
    const auto* listBox = qobject_cast<const QListWidget*>(option.widget);
    const TMonitoredItem* item = listBox ? ListBoxItemObject(listBox, index.row()) : nullptr;
    const int x1 = row.left() + m_ruleX;
    const int x2 = x1 + 4 + m_kindWidth;
    painter->setPen(QColor(0xD4, 0xD4, 0xD4));
    painter->drawLine(x1, row.top(), x1, row.bottom());
    if (m_checkBoxes) {
        painter->drawLine(x2, row.top(), x2, row.bottom());
    }
    if (listBox && index.row() == listBox->count() - 1) {
        painter->drawLine(row.left(), row.bottom(), row.right(), row.bottom());
    }
    if (item) {
        QColor textColor = selected ? option.palette.highlightedText().color() : QColor(0x36, 0x36, 0x36);
        if (!item->Active) {
            textColor = QColor(0x80, 0x80, 0x80);
        }
        painter->setPen(textColor);
        const QRect nameRect(row.left() + 2, row.top(), NameWidth(), row.height());
        painter->setFont(option.font);
        painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            option.fontMetrics.elidedText(QString::fromStdString(item->Caption), Qt::ElideRight, nameRect.width()));
        if (m_checkBoxes) {
            painter->drawText(QRect(x1 + 2, row.top(), x2 - x1 - 4, row.height()),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                QStringLiteral(" ") + QString::fromStdString(item->ItemTypeNameGet()));
            const int box = row.height() + 4;
            QStyleOptionButton check;
            check.rect = QRect(row.right() - box + (box - 13) / 2, row.top() + (row.height() - 13) / 2, 13, 13);
            check.state = QStyle::State_Enabled | (item->Checked ? QStyle::State_On : QStyle::State_Off);
            const QWidget* widget = option.widget;
            (widget ? widget->style() : QApplication::style())
                ->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, widget);
        } else {
            painter->drawText(QRect(x1 + 2, row.top(), row.right() - x1 - 4, row.height()),
                Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, ItemKindText(item->ItemType));
        }
    }
    painter->restore();
}
