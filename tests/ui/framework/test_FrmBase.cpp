#include "QtTestMain.h"

#include "ui/framework/Appearance.h"
#include "ui/framework/FrmBase.h"
#include "ui/framework/FrmDeleteConfirm.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/framework/ListBoxItems.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWindow>

namespace {

// A window on a fixed work area of 800 x 600 whose CanMoveTo answer the test chooses.
class TTestWindow : public TfrmBase
{
public:
    TTestWindow()
    {
        setAttribute(Qt::WA_DeleteOnClose, false);
    }
    bool AllowMove = true;
    QRect Area = QRect(0, 0, 800, 600);

    bool CanMoveTo(int, int) override
    {
        return AllowMove;
    }
    QRect WorkArea() const override
    {
        return Area;
    }
};

// The next control in the focus chain that Tab stops at.
QWidget* NextTabStop(QWidget* widget)
{
    do {
        widget = widget->nextInFocusChain();
    } while (!(widget->focusPolicy() & Qt::TabFocus));
    return widget;
}

QColor LabelColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

TEST(Transparency, PercentToAlphaRoundsHalfToEven)
{
    EXPECT_EQ(255, TransparencyAlpha(0));
    EXPECT_EQ(229, TransparencyAlpha(10)) << "25.5 rounds to 26";
    EXPECT_EQ(25, TransparencyAlpha(90));
    EXPECT_EQ(127, TransparencyAlpha(50)) << "127.5 rounds to 128";
    EXPECT_EQ(179, TransparencyAlpha(30)) << "76.5 rounds to 76";
    EXPECT_EQ(25, TransparencyAlpha(100)) << "a hand-edited 100 must not hide every window";
    EXPECT_EQ(255, TransparencyAlpha(-20));
}

TEST(Transparency, WindowBlendsExactlyWhenAlphaIsNot255)
{
    TestAppearanceReset();
    TTestWindow window;
    EXPECT_TRUE(window.AlphaBlend()) << "the default 10 % applies at creation";
    EXPECT_EQ(229, window.AlphaBlendValue());
    window.ApplyTransparency(0);
    EXPECT_FALSE(window.AlphaBlend());
    EXPECT_DOUBLE_EQ(1.0, window.windowOpacity());
    window.ApplyTransparency(90);
    EXPECT_NEAR(25 / 255.0, window.windowOpacity(), 0.01);
}

TEST(TextColor, OnlyLabelsNotInTheFormFontColourTakeIt)
{
    TestAppearanceReset();
    TTestWindow window;
    auto* white = new QLabel(QStringLiteral("on the background"), &window);
    LabelOnBackgroundSet(white);
    auto* panel = new QWidget(&window);
    auto* nested = new QLabel(QStringLiteral("nested white"), panel);
    LabelOnBackgroundSet(nested);
    auto* dark = new QLabel(QStringLiteral("on a white list panel"), panel);

    window.ApplyTextColor(Qt::red);
    EXPECT_EQ(QColor(Qt::red), LabelColor(white));
    EXPECT_EQ(QColor(Qt::red), LabelColor(nested));
    EXPECT_EQ(QColor(0x36, 0x36, 0x36), LabelColor(dark));
    EXPECT_EQ(QColor(Qt::red), LabelColor(window.lblCaption)) << "the white title is a label like the others";

    // Picking the form's own font colour once must not strand the label there.
    window.ApplyTextColor(QColor(0x36, 0x36, 0x36));
    window.ApplyTextColor(Qt::green);
    EXPECT_EQ(QColor(Qt::green), LabelColor(white));
    EXPECT_EQ(QColor(0x36, 0x36, 0x36), LabelColor(dark));
}

TEST(TextColor, StoredColoursApplyWhenTheWindowIsFirstShown)
{
    TestAppearanceReset();
    TestAppearance().TextColor = 0x0000FF; // red, stored as 0x00BBGGRR
    TestAppearance().BackgroundColor = 0x804020;
    TTestWindow window;
    auto* label = new QLabel(QStringLiteral("x"), &window);
    LabelOnBackgroundSet(label);
    window.show();
    EXPECT_EQ(QColor(255, 0, 0), LabelColor(label));
    EXPECT_EQ(QColor(0x20, 0x40, 0x80), window.Color());
    window.hide();
    TestAppearanceReset();
}

TEST(Dragging, ClampsToTheWorkAreaEdges)
{
    TTestWindow window;
    window.resize(200, 100);
    window.move(50, 50);
    window.DragStart(QPoint(10, 10));

    window.DragStep(QPoint(500, 595), Qt::LeftButton);
    EXPECT_EQ(QPoint(490, 500), window.pos()) << "flush with the bottom";
    window.DragStep(QPoint(900, 300), Qt::LeftButton);
    EXPECT_EQ(QPoint(600, 290), window.pos()) << "flush with the right edge";
    window.DragStep(QPoint(-40, -70), Qt::LeftButton);
    EXPECT_EQ(QPoint(0, 0), window.pos()) << "negative coordinates become 0";
    window.DragStep(QPoint(110, 60), Qt::LeftButton);
    EXPECT_EQ(QPoint(100, 50), window.pos());
}

TEST(Dragging, RefusedMovesLeaveTheWindowWhereItIs)
{
    TTestWindow window;
    window.resize(200, 100);
    window.move(50, 50);
    window.DragStart(QPoint(10, 10));

    window.AllowMove = false;
    window.DragStep(QPoint(300, 300), Qt::LeftButton);
    EXPECT_EQ(QPoint(50, 50), window.pos()) << "CanMoveTo said no";
    window.AllowMove = true;
    window.AutohideState = 1;
    window.DragStep(QPoint(300, 300), Qt::LeftButton);
    EXPECT_EQ(QPoint(50, 50), window.pos()) << "docked or sliding";
    window.AutohideState = 0;
    window.DragStep(QPoint(300, 300), Qt::NoButton);
    EXPECT_EQ(QPoint(50, 50), window.pos()) << "button released";
}

TEST(Dragging, WindowTallerThanTheWorkAreaKeepsItsHeaderOnScreen)
{
    TTestWindow window;
    window.Area = QRect(0, 0, 800, 300);
    window.resize(200, 400);
    window.DragStart(QPoint(10, 10));
    window.DragStep(QPoint(110, 200), Qt::LeftButton);
    EXPECT_EQ(0, window.pos().y());
}

TEST(Outline, RoundedCornersFollowTheSize)
{
    TTestWindow window;
    window.show();
    window.resize(200, 100);
    EXPECT_FALSE(window.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(window.mask().contains(QPoint(100, 50)));
    window.resize(300, 150);
    EXPECT_TRUE(window.mask().contains(QPoint(250, 120)));
    EXPECT_FALSE(window.mask().contains(QPoint(299, 149)));
}

TEST(Outline, ComboClipHidesTheRightmost26Pixels)
{
    TTestWindow window;
    auto* combo = new QComboBox(&window);
    combo->resize(120, 24);
    window.show();
    EXPECT_TRUE(combo->mask().contains(QPoint(93, 10)));
    EXPECT_FALSE(combo->mask().contains(QPoint(94, 10)));
    combo->resize(200, 24);
    EXPECT_FALSE(combo->mask().contains(QPoint(174, 10))) << "kept clipped after a size change";
    window.hide();
}

TEST(Pages, SwitchingTwiceKeepsEveryControlsPlaceAndTabOrder)
{
    TTestWindow window;
    window.resize(400, 300);
    auto* pages = new QStackedWidget(&window);
    pages->setGeometry(20, 40, 300, 200);
    auto* sheet1 = new QWidget();
    auto* sheet2 = new QWidget();
    pages->addWidget(sheet1);
    pages->addWidget(sheet2);
    pages->hide();

    auto* a = new QLineEdit(sheet1);
    auto* b = new QLineEdit(sheet1);
    auto* c = new QLineEdit(sheet1);
    auto* label = new QLabel(QStringLiteral("page one"), sheet1);
    a->move(10, 100);
    b->move(10, 10);
    c->move(10, 50);
    label->move(150, 10);
    TfrmBase::TabOrderSet(b, 0); // the author's order: b, c, a
    TfrmBase::TabOrderSet(c, 1);
    TfrmBase::TabOrderSet(a, 2);
    auto* d = new QComboBox(sheet2);
    auto* e = new QLineEdit(sheet2);
    d->move(5, 5);
    e->move(5, 60);

    window.PageChange(sheet1);
    EXPECT_EQ(&window, b->parentWidget());
    EXPECT_EQ(QPoint(30, 50), b->pos());
    EXPECT_EQ(&window, label->parentWidget());
    EXPECT_EQ(b, window.focusWidget()) << "the first in tab order takes the focus";
    EXPECT_EQ(c, NextTabStop(b));
    EXPECT_EQ(a, NextTabStop(c));

    for (int round = 0; round < 2; ++round) {
        window.PageChange(sheet2);
        EXPECT_EQ(sheet1, a->parentWidget());
        EXPECT_EQ(QPoint(10, 100), a->pos());
        EXPECT_EQ(QPoint(150, 10), label->pos());
        EXPECT_EQ(QPoint(25, 45), d->pos());
        EXPECT_EQ(d, window.focusWidget());
        window.PageChange(sheet1);
        EXPECT_EQ(sheet2, d->parentWidget());
        EXPECT_EQ(QPoint(5, 60), e->pos());
        EXPECT_EQ(QPoint(30, 50), b->pos());
        EXPECT_EQ(QPoint(30, 90), c->pos());
        EXPECT_EQ(QPoint(30, 140), a->pos());
        EXPECT_EQ(c, NextTabStop(b)) << "round " << round;
        EXPECT_EQ(a, NextTabStop(c)) << "round " << round;
        EXPECT_EQ(b, window.focusWidget());
    }

    window.PageChange(sheet1);
    EXPECT_EQ(&window, a->parentWidget()) << "showing the same page again";
    EXPECT_EQ(QPoint(30, 50), b->pos());
    EXPECT_EQ(QPoint(30, 140), a->pos());
    EXPECT_EQ(QPoint(170, 50), label->pos());
    EXPECT_EQ(c, NextTabStop(b));
    EXPECT_EQ(a, NextTabStop(c));
    EXPECT_EQ(b, window.focusWidget());

    b->setEnabled(false);
    window.PageChange(sheet1);
    EXPECT_EQ(c, window.focusWidget()) << "the first control that can take the focus";
}

TEST(ListBoxRows, TopsUpWithEmptyRowsWithoutPilingUp)
{
    TMonitoredList list;
    for (const char* caption : { "alpha", "beta" }) {
        auto item = std::make_unique<TMonitoredItem>();
        item->Caption = caption;
        list.Add(caption, std::move(item));
    }
    QListWidget listBox;
    listBox.resize(150, 2 + 6 * listBox.fontMetrics().height() + 3);
    TListBoxItems sink(&listBox);
    ListBoxFill(sink, list, mitAll);
    const int itemHeight = listBox.sizeHintForRow(0);
    const int rows = (listBox.height() - 2) / itemHeight;

    TfrmBase::ListBoxRowsFill(&listBox);
    EXPECT_EQ(rows, listBox.count());
    EXPECT_EQ(list.Items(1), ListBoxItemObject(&listBox, 1));
    EXPECT_EQ(nullptr, ListBoxItemObject(&listBox, rows - 1));

    ListBoxFill(sink, list, mitAll);
    TfrmBase::ListBoxRowsFill(&listBox);
    EXPECT_EQ(rows, listBox.count());

    // An empty list whose rows are drawn lower than its font's height (the usage list: 13-pixel
    // rows in an 11-pixel font) is ruled down to its bottom too.
    class TLowRows : public QStyledItemDelegate
    {
    public:
        using QStyledItemDelegate::QStyledItemDelegate;
        QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
        {
            return QSize(100, 9);
        }
    };
    listBox.setItemDelegate(new TLowRows(&listBox));
    listBox.clear();
    TfrmBase::ListBoxRowsFill(&listBox);
    EXPECT_EQ((listBox.height() - 2) / 9, listBox.count());
}

// The focus is shown by a frame of a light and a dark line, which stands out on a dark skin as on
// a light one: around the focused control, and drawn by a skinned button itself.
TEST(FocusMark, FollowsTheFocusedControlInTwoColoursAndButtonsDrawTheirOwn)
{
    TTestWindow window;
    window.resize(300, 200);
    auto* first = new QLineEdit(&window);
    first->setGeometry(20, 50, 120, 24);
    auto* second = new QLineEdit(&window);
    second->setGeometry(20, 100, 120, 24);
    auto* button = new TImageButton(&window);
    button->SkinSet(QStringLiteral("button"));
    button->setGeometry(180, 100, 90, 28);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    const auto twoColours = [](const QImage& image, int y, int left, int right) {
        bool light = false;
        bool dark = false;
        for (int x = left; x <= right; ++x) {
            light = light || (image.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
            dark = dark || (image.pixel(x, y) & 0xFFFFFF) == 0;
        }
        return light && dark;
    };
    for (QLineEdit* edit : { first, second }) {
        edit->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        auto* mark = window.findChild<QWidget*>(QStringLiteral("focusMark"));
        ASSERT_NE(mark, nullptr);
        EXPECT_TRUE(mark->isVisible());
        EXPECT_EQ(mark->geometry(), edit->geometry().adjusted(-3, -3, 3, 3));
        const QImage image = window.grab().toImage();
        EXPECT_TRUE(twoColours(image, mark->y() + 1, mark->x() + 4, mark->x() + 60));
    }
    button->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    EXPECT_TRUE(button->hasFocus()) << "Tab reaches the skinned button";
    EXPECT_FALSE(window.findChild<QWidget*>(QStringLiteral("focusMark"))->isVisible());
    const QImage image = button->grab().toImage();
    EXPECT_TRUE(twoColours(image, 2, 4, 60));
}

TEST(Dialogs, DeleteConfirmationNamesTheEntryAndAnswersOk)
{
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<TfrmDeleteConfirm*>(QApplication::activeModalWidget());
        ASSERT_NE(nullptr, window);
        shown = window->lblDescription->text();
        window->miOk->trigger();
    });
    EXPECT_TRUE(TfrmBase::ConfirmDelete(QStringLiteral("100% news")));
    EXPECT_EQ(QStringLiteral("Are you sure you want to delete \"100% news\" from your time-limit list?"), shown);

    QTimer::singleShot(0, [] {
        auto* window = qobject_cast<TfrmDeleteConfirm*>(QApplication::activeModalWidget());
        ASSERT_NE(nullptr, window);
        window->miCancel->trigger();
    });
    EXPECT_FALSE(TfrmBase::ConfirmDelete(QStringLiteral("x")));
}

TEST(Dialogs, WebPagesGoToTheMakersSite)
{
    QString opened;
    WebPageOpenerSet([&](const QString& address) { opened = address; });
    TfrmBase::OpenWebPage(SitePageAddress(QStringLiteral("/help")));
    WebPageOpenerSet({});
    EXPECT_EQ(QStringLiteral("https://" TALLYHOUR_SITE_HOST "/help"), opened);
}

TEST(Placement, APressTellsQtWhereTheWindowManagerPutTheWindow)
{
    TestAppearanceReset();
    TfrmBase window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.resize(300, 200);
    auto* combo = new QComboBox(&window);
    combo->setGeometry(20, 60, 150, 26);
    combo->addItems({ QStringLiteral("Never"), QStringLiteral("Daily") });
    window.move(100, 100);
    window.show();
    QApplication::processEvents();

    // The window manager put the window at (300, 200) and did not say so: the press of the user's
    // pointer there shows it, before anything opens by the window's place.
    QMouseEvent press(
        QEvent::MouseButtonPress, QPointF(90, 70), QPointF(390, 270), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.windowHandle(), &press);
    QMouseEvent release(
        QEvent::MouseButtonRelease, QPointF(90, 70), QPointF(390, 270), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window.windowHandle(), &release);
    EXPECT_EQ(window.pos(), QPoint(300, 200));
    EXPECT_EQ(combo->mapToGlobal(QPoint(0, 0)), QPoint(320, 260)) << "its list opens at the field";

    // The pointer coming onto the window tells the same, so a list opened by its key next is
    // placed right too.
    window.move(100, 100);
    QEnterEvent enter(QPointF(5, 5), QPointF(405, 305), QPointF(405, 305));
    QApplication::sendEvent(window.windowHandle(), &enter);
    EXPECT_EQ(window.pos(), QPoint(400, 300));
    window.hide();
}
