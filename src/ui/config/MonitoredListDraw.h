#pragma once

#include <QStyledItemDelegate>

// Draws the rows of the configuration windows' lists: alternating white and light grey rows, the
// caption and the kind in two columns parted by a grey rule, inactive entries in grey and, for
// the add wizard, the entry's check box at the right end. Empty rows stay blank but ruled. A name
// longer than its column ends in "…" and shows whole in the row's tip.
class TMonitoredListDraw : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // `ruleX` is where the rule between name and kind lies; `checkBoxes` adds the check column
    // after a second rule `kindWidth` further right; `kindNames` shows "App"/"Web" instead of
    // "Application"/"Web site".
    TMonitoredListDraw(int ruleX, int kindWidth, bool checkBoxes, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;

private:
    // The room a name has in its column.
    int NameWidth() const;

    int m_ruleX;
    int m_kindWidth;
    bool m_checkBoxes;
};

// The text the settings wizard shows for an entry's kind.
QString ItemKindText(int itemType);
