// Every window of the program, in each state that shows its longest texts, built offscreen at the
// scale the run was started with (ctest runs this file at scale 1 and again at scale 2).
#include "ConfigTestSupport.h"

#include "QtTestMain.h"

#include "enforce/FocusMode.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "ui/config/FrmAppSiteAddWizard.h"
#include "ui/config/FrmPasswordChange.h"
#include "ui/config/FrmPasswordCheck.h"
#include "ui/config/FrmSettings.h"
#include "ui/framework/Appearance.h"
#include "ui/framework/FrmDeleteConfirm.h"
#include "ui/framework/FrmErrorMessage.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/Gauge.h"
#include "ui/framework/ImageButton.h"
#include "ui/framework/ImagePanel.h"
#include "ui/main/FrmFocusSettings.h"
#include "ui/main/FrmMain.h"
#include "ui/main/FrmReminder.h"
#include "ui/main/FrmReminderChange.h"
#include "ui/main/FrmReminderSettings.h"
#include "ui/main/FrmReports.h"
#include "ui/main/FrmTransparencySettings.h"
#include "ui/main/SkinList.h"

#include "support/ChildFind.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeHotkeySource.h"
#include "support/desktop/FakeInstalledApplications.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

namespace {

using TLook = std::function<void(const std::string& state, TfrmBase* window)>;

// The longest texts the program puts into its message windows, and a long caption of the user's.
const char* const kLongCaption = "Solitaire Collection Deluxe Edition from the Games Menu";
const char* const kLongSite
    = "www.example-of-a-rather-long-site-address.com/with/a/path/that/goes/on/and/on/index.html";
const char* const kLongMessages[] = {
    "You have already added an application with the same filename. Please choose another filename.",
    "You have already added an site with the same URL to the list. Please choose another URL.",
    "\"Solitaire Collection Deluxe Edition from the Games Menu\" will be removed from time-limit list after 4:00 AM",
};
const char* const kLongReminder = "Finish the quarterly report and send it to the whole team before the meeting\n"
                                  "Reply to Anna about Friday\nCall the dentist\nReview the pull requests\n"
                                  "Prepare tomorrow's slides";

void Settle(QWidget* window)
{
    window->show();
    QApplication::processEvents();
}

void Look(const TLook& look, const std::string& state, TfrmBase* window)
{
    Settle(window);
    look(state, window);
    // For a person's look at the windows: TALLYHOUR_WINDOW_SHOTS names a folder for pictures.
    if (const char* folder = std::getenv("TALLYHOUR_WINDOW_SHOTS")) {
        QString file = QString::fromStdString(state);
        file.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
        window->grab().save(QString::fromLatin1(folder) + QLatin1Char('/') + file + QStringLiteral(".png"));
    }
}

template <typename TWindow> void Close(TWindow* window)
{
    window->hide();
    delete window;
}

void MessageWindowsVisit(const TLook& look)
{
    for (const char* message : kLongMessages) {
        auto* warning = new TfrmWarning();
        warning->setWindowTitle(QStringLiteral("Please Note"));
        warning->lblWarning->setText(QString::fromLatin1(message));
        Look(look, std::string("Warning: ") + message, warning);
        Close(warning);
    }
    auto* confirm = new TfrmDeleteConfirm();
    confirm->DescriptionSet(QString::fromLatin1(kLongCaption));
    Look(look, "Confirm Delete", confirm);
    Close(confirm);
    auto* error = new TfrmErrorMessage();
    error->ErrorText = QStringLiteral("ErrorClassName: std::bad_alloc; TfrmMain.tmrScanTimer: std::bad_alloc");
    Look(look, "Application Error", error);
    Close(error);
}

void TimeUpWindowsVisit(const TLook& look)
{
    struct TCase
    {
        const char* Name;
        bool InFocus;
        int Action;
        int Hour;
    };
    const TCase cases[] = {
        { "Reminder Only, morning", false, 0, 9 },
        { "Close Browser/App., morning", false, 1, 9 },
        { "Shutdown Computer, morning", false, 2, 9 },
        { "focus, morning", true, 1, 9 },
        { "Close Browser/App., evening", false, 1, 20 },
    };
    for (const TCase& c : cases) {
        TReminderContent content;
        content.InFocus = c.InFocus;
        content.ExpirationAction = c.Action;
        content.FiveMinuteOffer = true;
        content.Reminders = { QString::fromLatin1(kLongReminder), QString::fromLatin1(kLongReminder),
            QString::fromLatin1(kLongReminder) };
        content.TimeOfDay = c.Hour / 24.0;
        auto* window = new TfrmReminder(content);
        Look(look, std::string("Reminder: ") + c.Name, window);
        Close(window);
    }
    auto* settings = new TfrmReminderSettings(23 * 3600 + 59 * 60, 2);
    Look(look, "Time-Up Settings", settings);
    Close(settings);
}

void SmallWindowsVisit(const TLook& look)
{
    TOptions& options = OptionsInstance();
    options.ReminderChangedDateTime = ProgramNow() - 99999;
    auto* prompt = new TfrmReminderChange(options, ProgramNow());
    Look(look, "Please change reminders", prompt);
    Close(prompt);

    TMonitoredList result;
    auto* focus = new TfrmFocusSettings(result, nullptr);
    Look(look, "Block Mode", focus);
    Close(focus);
    auto* transparency = new TfrmTransparencySettings();
    Look(look, "Transparency Settings", transparency);
    Close(transparency);
    auto* check = new TfrmPasswordCheck(options);
    Look(look, "Password", check);
    Close(check);
    auto* change = new TfrmPasswordChange(options);
    Look(look, "Change Password", change);
    Close(change);

    const TDateTime now = EncodeDateTime(2026, 12, 8, 10, 30, 0);
    std::vector<TUsageSplitRow> week;
    for (int i = 0; i < 8; ++i) {
        week.push_back(TUsageSplitRow { DateToDbText(now - 7 + i), 1, "/usr/bin/xterm" + std::to_string(i),
            std::string(kLongCaption) + std::to_string(i), int64_t(600) * (i + 1) });
    }
    auto* chart = new TfrmReports(
        2, 7200, [&](TDateTime, TDateTime, TUsageBucket) { return week; }, [now] { return now; });
    Look(look, "Usage Chart", chart);
    Close(chart);
}

void WizardsVisit(const TLook& look)
{
    for (const bool firstRun : { true, false }) {
        auto* settings = new TfrmSettings(OptionsInstance(), TAppSiteSources());
        settings->Prepare(firstRun);
        const auto pages = settings->VisiblePages();
        for (size_t page = 0; page < pages.size(); ++page) {
            Look(look,
                "Settings" + std::string(firstRun ? " (first run), " : ", ")
                    + settings->ActivePage()->objectName().toStdString(),
                settings);
            if (page + 1 < pages.size()) {
                settings->StepNext();
            }
        }
        Close(settings);
    }

    TFakeInstalledApplications installed;
    TFakeProcesses processes;
    TMonitoredList result;
    auto* add = new TfrmAppSiteAddWizard(
        OptionsInstance(), OptionsInstance().MonitoredItems(), result, TAppSiteSources { &installed, &processes });
    add->Prepare();
    Look(look, "Add wizard, sites", add);
    add->SitesNext();
    Look(look, "Add wizard, scan", add);
    // The scan's look: "Progress" and the gauge instead of the filter.
    add->lblFilter->setText(QStringLiteral("Progress"));
    add->edtFilter->hide();
    add->ggScan->show();
    Look(look, "Add wizard, scanning", add);
    add->lblFilter->setText(QStringLiteral("Filter"));
    add->ggScan->hide();
    add->edtFilter->show();
    add->ScanNext();
    Look(look, "Add wizard, apps", add);
    Close(add);
}

void MainWindowVisit(const TLook& look)
{
    TFakeDesktop desktop;
    TFakeHotkeySource keys;
    auto window = std::make_unique<TfrmMain>(
        TMainWindowDesktop { &desktop, &desktop.Processes(), &desktop, nullptr, &keys, true });
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    const struct
    {
        const char* Name;
        const char* Action;
    } views[] = { { "Lite", "actViewLite" }, { "All", "actViewMain" }, { "Reminders", "actViewRemindersOnly" },
        { "Usage", "actViewUsage" } };
    for (const auto& view : views) {
        Child<QAction>(*window, view.Action)->trigger();
        window->ApplicationRestore();
        Look(look, std::string("Main window, ") + view.Name, window.get());
    }
    Child<QAction>(*window, "actViewMain")->trigger();
    for (int format = 1; format < 3; ++format) {
        Child<QAction>(*window, "actChangeTimeFormat")->trigger();
        Look(look, "Main window, time format " + std::to_string(format), window.get());
    }
    FocusPeriodStart(window->State, 23.0 / 24);
    window->FocusDisplayOn();
    for (int format = 0; format < 3; ++format) {
        Look(look, "Main window, focus format " + std::to_string(format), window.get());
        Child<QAction>(*window, "actChangeFocusModeTimeFormat")->trigger();
    }
    window->hide();
}

// The windows and their states, one after the other; `look` sees each shown.
void EveryWindowVisit(const TLook& look)
{
    MessageWindowsVisit(look);
    TimeUpWindowsVisit(look);
    SmallWindowsVisit(look);
    WizardsVisit(look);
    MainWindowVisit(look);
}

QRect RectInWindow(const QWidget* widget, const QWidget* window)
{
    return QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
}

std::string Named(const QWidget* widget)
{
    const QString name = widget->objectName();
    return (name.isEmpty() ? QString::fromLatin1(widget->metaObject()->className()) : name).toStdString();
}

// Whether `other` lies over the label's text: controls beside or under a label that are neither
// labels nor the panels they sit on, nor the focus mark, which only frames the focused control.
bool Covers(const QWidget* other, const QRect& textRect, const QWidget* window)
{
    if (qobject_cast<const QLabel*>(other) || qobject_cast<const TImagePanel*>(other) || other->isHidden()
        || other->isWindow() || other->objectName() == QLatin1String("focusMark")) {
        return false;
    }
    const QRect rect = RectInWindow(other, window);
    return rect.intersects(textRect) && !rect.contains(textRect);
}

void TextsFitCheck(const std::string& state, TfrmBase* window)
{
    SCOPED_TRACE(state);
    const QRect windowRect = window->rect();
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty() || label == window->lblCaption) {
            continue;
        }
        const std::string name = Named(label) + " \"" + label->text().left(40).toStdString() + "\"";
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        EXPECT_LE(needed, label->height()) << name << " needs more height";
        if (!label->wordWrap()) {
            EXPECT_LE(label->sizeHint().width(), label->width()) << name << " needs more width";
        }
        QRect textRect = RectInWindow(label, window);
        textRect.setHeight(std::max(needed, 1));
        if (!windowRect.intersects(RectInWindow(label, window))) {
            continue; // below the cut of the Lite view
        }
        EXPECT_TRUE(windowRect.contains(textRect)) << name << " runs out of the window";
        for (QWidget* other : label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != label && Covers(other, textRect, window)) {
                ADD_FAILURE() << name << " lies under " << Named(other);
            }
        }
    }
    for (TImageButton* button : window->findChildren<TImageButton*>()) {
        if (button->isVisibleTo(window) && !button->text().isEmpty() && !button->WordWrap()) {
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 4)
                << Named(button) << " \"" << button->text().toStdString() << "\" needs more width";
        }
    }
    // The ruled rows of a list reach down to its bottom.
    for (QListWidget* list : window->findChildren<QListWidget*>()) {
        if (!list->isVisibleTo(window) || list->count() == 0 || !windowRect.contains(RectInWindow(list, window))) {
            continue;
        }
        const int row = list->sizeHintForRow(0);
        EXPECT_GE(list->count() * row, list->viewport()->height() - row - 2)
            << Named(list) << ": " << list->count() << " rows of " << row << " in " << list->viewport()->height();
        // And no further: a list whose entries fit shows no scroll bar, and a long name keeps every
        // row, with the columns after the name, inside the list.
        int entries = 0;
        for (int i = 0; i < list->count(); ++i) {
            entries += list->item(i)->text().isEmpty() ? 0 : 1;
        }
        if (entries * row <= list->viewport()->height()) {
            EXPECT_FALSE(list->verticalScrollBar()->isVisible())
                << Named(list) << ": " << entries << " entries in " << list->count() << " rows of " << row;
        }
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible()) << Named(list);
        EXPECT_LE(list->visualItemRect(list->item(0)).right(), list->viewport()->rect().right()) << Named(list);
    }
    // A drop-down's own arrow is clipped away; a skinned drop button lies in its place.
    for (QComboBox* combo : window->findChildren<QComboBox*>()) {
        if (!combo->isVisibleTo(window)) {
            continue;
        }
        const QPoint arrow = RectInWindow(combo, window).topRight() + QPoint(-12, combo->height() / 2);
        bool dropButton = false;
        for (TImageButton* button : combo->parentWidget()->findChildren<TImageButton*>(Qt::FindDirectChildrenOnly)) {
            dropButton = dropButton || (button->isVisibleTo(window) && RectInWindow(button, window).contains(arrow));
        }
        EXPECT_TRUE(dropButton) << Named(combo) << " has no drop button";
    }
#ifndef Q_OS_WIN
    // Examples name programs of this desktop.
    for (QLabel* label : window->findChildren<QLabel*>()) {
        for (const char* windowsOnly : { "Internet Explorer", "Outlook", "excel.exe", "c:/" }) {
            EXPECT_FALSE(label->text().contains(QLatin1String(windowsOnly), Qt::CaseInsensitive))
                << Named(label) << " names " << windowsOnly;
        }
    }
#endif
}

double Luminance(const QColor& color)
{
    const auto channel = [](double value) {
        value /= 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.red()) + 0.7152 * channel(color.green()) + 0.0722 * channel(color.blue());
}

double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The mean colour the window paints under `rect`, its labels left out.
QColor BackgroundUnder(TfrmBase* window, const QRect& rect)
{
    std::vector<QLabel*> hidden;
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->isVisible()) {
            label->hide();
            hidden.push_back(label);
        }
    }
    const QImage picture = window->grab(rect).toImage().scaled(rect.size());
    for (QLabel* label : hidden) {
        label->show();
    }
    double r = 0, g = 0, b = 0;
    const int pixels = std::max(1, picture.width() * picture.height());
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            r += pixel.red();
            g += pixel.green();
            b += pixel.blue();
        }
    }
    return QColor(int(r / pixels), int(g / pixels), int(b / pixels));
}

// The colour a text is drawn in: of the pixels the window shows in `rect`, the one farthest from
// the ground's colour (anti-aliased edges lie between the two).
QColor InkOf(TfrmBase* window, const QRect& rect, const QColor& ground)
{
    const QImage picture = window->grab(rect).toImage();
    QColor ink = ground;
    int farthest = -1;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            const int distance = std::abs(pixel.red() - ground.red()) + std::abs(pixel.green() - ground.green())
                + std::abs(pixel.blue() - ground.blue());
            if (distance > farthest) {
                farthest = distance;
                ink = pixel;
            }
        }
    }
    return ink;
}

// Fields, lists and drop-down lists keep light grounds under dark text; column heads and links
// stand out from what lies behind them.
void ColoursCheck(const std::string& state, TfrmBase* window)
{
    SCOPED_TRACE(state);
    std::vector<QWidget*> fields;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractItemView*>(widget)
            || qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QComboBox*>(widget)) {
            fields.push_back(widget);
        }
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            fields.push_back(combo->view());
        }
    }
    for (QWidget* field : fields) {
        const QPalette& palette = field->palette();
        const QColor ground = palette.color(QPalette::Active, QPalette::Base);
        EXPECT_GT(Luminance(ground), 0.7) << Named(field) << " has a dark ground " << ground.name().toStdString();
        EXPECT_GE(Contrast(ground, palette.color(QPalette::Active, QPalette::Text)), 4.5) << Named(field);
        EXPECT_GE(Contrast(palette.color(QPalette::Active, QPalette::Highlight),
                      palette.color(QPalette::Active, QPalette::HighlightedText)),
            4.5)
            << Named(field);
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty()) {
            continue;
        }
        if (!window->rect().contains(RectInWindow(label, window))) {
            continue; // below the cut of the Lite view
        }
        const QColor ground = BackgroundUnder(window, RectInWindow(label, window));
        const QColor text = InkOf(window, RectInWindow(label, window), ground);
        EXPECT_GE(Contrast(text, ground), 4.5)
            << Named(label) << " \"" << label->text().toStdString() << "\": " << text.name().toStdString() << " on "
            << ground.name().toStdString();
    }
}

class EveryWindow : public ConfigTest
{
protected:
    void SetUp() override
    {
        ConfigTest::SetUp();
        TOptions& options = OptionsInstance();
        options.IsNotFirstRun = true;
        StoredItemAdd("/usr/games/sol", kLongCaption, mitApp);
        StoredItemAdd("news.ycombinator.com", "news.ycombinator.com", mitWeb);
        StoredItemAdd(kLongSite, kLongSite, mitWeb);
        for (int i = 0; i < 3; ++i) {
            options.ReminderTextSet(i, kLongReminder);
        }
        options.ListSave();
    }
};

} // namespace

TEST_F(EveryWindow, TextsHaveTheRoomTheyNeed)
{
    int windows = 0;
    EveryWindowVisit([&windows](const std::string& state, TfrmBase* window) {
        if (windows++ == 0) {
            std::cout << "device pixels per pixel: " << window->devicePixelRatio() << ", screen "
                      << window->screen()->geometry().width() << " x " << window->screen()->geometry().height() << "\n";
        }
        TextsFitCheck(state, window);
    });
    EXPECT_GE(windows, 30);
}

TEST_F(EveryWindow, KeepTheirColoursOnADarkDesktopAndEverySkin)
{
    // A dark desktop theme, as the GTK theme Adwaita:dark hands it to the program.
    const QPalette desktopPalette = QApplication::palette();
    QPalette dark = desktopPalette;
    for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        dark.setColor(group, QPalette::Window, QColor(0x35, 0x35, 0x35));
        dark.setColor(group, QPalette::WindowText, QColor(0xEE, 0xEE, 0xEC));
        dark.setColor(group, QPalette::Base, QColor(0x2D, 0x2D, 0x2D));
        dark.setColor(group, QPalette::AlternateBase, QColor(0x35, 0x35, 0x35));
        dark.setColor(group, QPalette::Text, QColor(0x50, 0x50, 0x50));
        dark.setColor(group, QPalette::Button, QColor(0x35, 0x35, 0x35));
        dark.setColor(group, QPalette::ButtonText, QColor(0x50, 0x50, 0x50));
        dark.setColor(group, QPalette::Highlight, QColor(0x15, 0x53, 0x9E));
        dark.setColor(group, QPalette::Link, QColor(0x00, 0x00, 0xFF));
    }
    QApplication::setPalette(dark);

    std::vector<std::string> backgrounds { "" };
    // The skins the build installs beside the program.
    const char* binFolder = std::getenv("TALLYHOUR_BIN_DIR");
    ASSERT_NE(binFolder, nullptr);
    const std::string skinsFolder = std::string(binFolder) + "/Skins/";
    TSkinList skins;
    skins.Load(skinsFolder);
    for (int i = 0; i < skins.Count(); ++i) {
        backgrounds.push_back(skins.Entries(i).Path);
    }
    ASSERT_GE(backgrounds.size(), 2u) << "no skins in " << skinsFolder;
    for (const std::string& background : backgrounds) {
        SCOPED_TRACE("background picture: " + background);
        TestAppearance().BackgroundImageSet(background);
        EveryWindowVisit(ColoursCheck);
    }
    QApplication::setPalette(desktopPalette);
}
