#include "ui/main/MainPageParts.h"

#include "ui/main/MainDisplay.h"

#include "ui/framework/FrmBase.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/framework/ListBoxItems.h"

#include "model/MonitoredObjects.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>

namespace MainPageParts {

namespace {

constexpr int kLabelHeight = 18;
constexpr int kFieldHeight = 24;
constexpr int kComboHeight = 22;

// A combo whose list drops down below it, as a list does. Some styles lay the list over the
// combo like a menu, the chosen item on the combo, which in this narrow window covers what lies
// above (the Focus button); only where the screen has no room below does it open above instead.
class TDropDownCombo : public QComboBox
{
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        QComboBox::showPopup();
        QWidget* popup = view() ? view()->window() : nullptr;
        if (!popup || popup == window()) {
            return;
        }
        const QRect combo(mapToGlobal(QPoint(0, 0)), size());
        const QScreen* shown = screen();
        const QRect room = shown ? shown->availableGeometry() : QRect();
        int top = combo.bottom() + 1;
        if (room.isValid() && top + popup->height() > room.bottom() + 1
            && combo.top() - popup->height() >= room.top()) {
            top = combo.top() - popup->height();
        }
        popup->move(popup->x(), top);
    }
};

} // namespace

QLabel* LabelMake(QWidget* parent, const QString& name, const QString& text, int width)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFixedSize(width, kLabelHeight);
    label->setTextFormat(Qt::PlainText);
    LabelOnBackgroundSet(label);
    return label;
}

TImageButton* ButtonMake(QWidget* parent, const QString& name, const QString& text, int width, int height)
{
    auto* button = new TImageButton(parent);
    button->setObjectName(name);
    button->SkinSet(QStringLiteral("button"));
    button->SideWidthSet(6);
    button->SideHeightSet(6);
    button->setText(text);
    button->setFixedSize(width, height);
    return button;
}

QComboBox* ComboMake(QWidget* parent, const QString& name, int width, const QString& buttonName)
{
    auto* combo = new TDropDownCombo(parent);
    combo->setObjectName(name);
    combo->setFixedSize(width, kComboHeight);
    TfrmBase::ComboClip(combo);
    // The button follows the combo wherever the layout puts it.
    TfrmBase::ComboDropButtonAdd(combo)->setObjectName(buttonName);
    return combo;
}

QPlainTextEdit* MemoMake(QWidget* parent, const QString& name)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setFixedWidth(kInnerWidth);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes to the next control; a reminder is lines, not a table.
    memo->setTabChangesFocus(true);
    QFont font = memo->font();
    font.setBold(false);
    memo->setFont(font);
    return memo;
}

TImagePanel* HeaderPanelMake(
    QWidget* parent, const QString& name, int width, const QString& labelName, const QString& text)
{
    auto* panel = new TImagePanel(parent);
    panel->setObjectName(name);
    panel->TransparentSet(false);
    panel->ColorSet(QColor(0xE4, 0xE4, 0xE4));
    panel->setFixedSize(width, kLabelHeight);
    auto* label = new QLabel(text, panel);
    label->setObjectName(labelName);
    label->setAlignment(Qt::AlignCenter);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    return panel;
}

QListWidget* ListBoxMake(QWidget* parent, const QString& name)
{
    auto* listBox = new QListWidget(parent);
    listBox->setObjectName(name);
    listBox->setFixedWidth(kInnerWidth);
    listBox->setMinimumHeight(32);
    listBox->setFrameShape(QFrame::NoFrame);
    listBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listBox->setUniformItemSizes(true);
    QPalette listPalette = listBox->palette();
    listPalette.setColor(QPalette::Base, Qt::white);
    listPalette.setColor(QPalette::Text, QColor::fromRgb(kRowTextColor));
    listBox->setPalette(listPalette);
    QFont font = listBox->font();
    font.setPixelSize(11);
    font.setBold(false);
    listBox->setFont(font);
    return listBox;
}

QLineEdit* FieldMake(QWidget* parent, const QString& name, int width)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setFixedSize(width, kFieldHeight);
    edit->setReadOnly(true);
    return edit;
}

void ListBoxFillFrom(QListWidget* listBox, TMonitoredList& list)
{
    TListBoxItems sink(listBox);
    ListBoxFill(sink, list, mitAll);
    TfrmBase::ListBoxRowsFill(listBox);
}

void ListBoxRowsRefit(QListWidget* listBox)
{
    while (listBox->count() > 0 && listBox->item(listBox->count() - 1)->text().isEmpty()
        && !ListBoxItemObject(listBox, listBox->count() - 1)) {
        delete listBox->takeItem(listBox->count() - 1);
    }
    TfrmBase::ListBoxRowsFill(listBox);
}

} // namespace MainPageParts
