#include "QtTestMain.h"

#include "ui/framework/FrmWarning.h"
#include "ui/framework/ImageButton.h"
#include "ui/main/FrmFocusSettings.h"
#include "ui/main/FrmReminder.h"
#include "ui/main/FrmReminderSettings.h"

#include "model/DataLocations.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/Options.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>
#include <QTimer>

namespace {

TDateTime At(int hour, int minute)
{
    return EncodeDateTime(2024, 3, 5, hour, minute, 0);
}

TReminderContent Content(int action, bool inFocus, TDateTime now)
{
    TReminderContent content;
    content.ExpirationAction = action;
    content.InFocus = inFocus;
    content.Reminders = { QStringLiteral("Write the report"), QStringLiteral("Call Anna"), QStringLiteral("Read") };
    content.TimeOfDay = now - std::floor(now);
    return content;
}

// Runs `answer` on the next message window that opens, and gives its title and text.
struct TMessageCatcher
{
    QString Title;
    QString Text;
    void Arm()
    {
        QTimer::singleShot(0, [this] {
            auto* window = qobject_cast<TfrmWarning*>(QApplication::activeModalWidget());
            if (!window) {
                return;
            }
            Title = window->lblCaption->text();
            Text = window->lblWarning->text();
            window->miOk->trigger();
        });
    }
};

// The time-up window on the screen, if any (it is not modal, so that it takes no keys).
TfrmReminder* ReminderShown()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* reminder = qobject_cast<TfrmReminder*>(window); reminder && reminder->isVisible()) {
            return reminder;
        }
    }
    return nullptr;
}

void DeferredDeletesRun()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(ReminderWindow, ShowsTheSectionsStillAheadInTheDayAndShrinksByTheHiddenOnes)
{
    struct TCase
    {
        TDateTime Now;
        bool Morning;
        bool Afternoon;
        int Height;
    };
    for (const TCase& c : { TCase { At(4, 0), true, true, 533 }, TCase { At(11, 59), true, true, 533 },
             TCase { At(12, 0), false, true, 413 }, TCase { At(18, 0), false, false, 295 },
             TCase { At(3, 59), false, false, 295 } }) {
        TfrmReminder window(Content(eaReminderOnly, false, c.Now));
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        EXPECT_EQ(!window.lblMorning->isHidden(), c.Morning) << DateTimeToDbText(c.Now);
        EXPECT_EQ(!window.memReminderMorning->isHidden(), c.Morning);
        EXPECT_EQ(!window.lblAfternoon->isHidden(), c.Afternoon);
        EXPECT_FALSE(window.lblEvening->isHidden());
        EXPECT_EQ(window.height(), c.Height) << DateTimeToDbText(c.Now);
        // The first section shown sits at the top, whichever it is; the controls below follow.
        QWidget* first = c.Morning ? window.lblMorning : c.Afternoon ? window.lblAfternoon : window.lblEvening;
        EXPECT_EQ(first->y(), 40);
        EXPECT_LT(window.btnOk->geometry().bottom(), window.height());
        EXPECT_GT(window.lblReminderText->y(), window.memReminderEvening->geometry().bottom());
    }
    TfrmReminder window(Content(eaReminderOnly, false, At(9, 0)));
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(window.memReminderAfternoon->toPlainText(), QStringLiteral("Call Anna"));
    EXPECT_TRUE(window.memReminderEvening->isReadOnly());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Reminder"));
}

TEST(ReminderWindow, MessageTextsFollowFocusAndAction)
{
    const auto text = [](int action, bool inFocus) {
        TfrmReminder window(Content(action, inFocus, At(9, 0)));
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        return window.lblReminderText->text().toStdString();
    };
    EXPECT_EQ(text(eaReminderOnly, false),
        "Sorry but you have now spent your allocated time on your 'sites and applications to watch' list. Here's a "
        "reminder of  your tasks for the rest of the day. You can either block the 'sites and applications' until "
        "0400 tomorrow or continue.");
    EXPECT_EQ(text(eaCloseApplication, false),
        "Sorry but you have now spent your allocated time on your 'sites and applications to watch' list. Here's a "
        "reminder of your tasks for the rest of the day. The sites and applications on your 'to watch' list will be "
        "closing in 60 seconds. You will not be able to access your 'sites and applications to watch' list until "
        "0400 tomorrow.");
    EXPECT_EQ(text(eaShutdown, false),
        "Sorry but you have now spent your allocated time on your 'sites and applications to watch' list. Here's a "
        "reminder of your tasks for the rest of the day. The computer will be shutting down in 60 seconds. You will "
        "not be able to access your 'sites and applications to watch' list until 0400 tomorrow.");
    const std::string focus
        = "You have chosen to focus without interruptions for a while.  Here's a reminder of your "
          "tasks today. The distracting sites and applications on your list will be closing shortly.";
    EXPECT_EQ(text(eaReminderOnly, true), focus);
    EXPECT_EQ(text(eaShutdown, true), focus);
}

TEST(ReminderWindow, ReminderOnlyOffersTheComboAndNoCountdown)
{
    TReminderAnswer answer;
    auto* window = new TfrmReminder(Content(eaReminderOnly, false, At(9, 0)));
    QPointer<TfrmReminder> guard = window;
    window->AnswerTargetSet(&answer);
    window->show();
    EXPECT_TRUE(window->cbxExpirationAction->isVisible());
    EXPECT_TRUE(window->btnComboExpirationAction->isVisible());
    EXPECT_TRUE(window->lblAction->isVisible());
    EXPECT_FALSE(window->lblTimeLeft->isVisible());
    EXPECT_FALSE(window->lblTimeValue->isVisible());
    EXPECT_FALSE(window->tmrCountdown->isActive());
    ASSERT_EQ(window->cbxExpirationAction->count(), 3);
    EXPECT_EQ(window->cbxExpirationAction->itemText(0), QStringLiteral("Continue"));
    EXPECT_EQ(window->cbxExpirationAction->itemText(1), QStringLiteral("Close Application"));
    EXPECT_EQ(window->cbxExpirationAction->itemText(2), QStringLiteral("Shutdown Computer"));
    EXPECT_EQ(window->cbxExpirationAction->currentIndex(), 0);

    window->cbxExpirationAction->setCurrentIndex(1);
    window->miCancel->trigger(); // Esc only closes; the choice stands
    DeferredDeletesRun();
    EXPECT_TRUE(guard.isNull());
    EXPECT_FALSE(answer.Grace);
    EXPECT_EQ(answer.Choice, eaCloseApplication);
}

// The window comes while the user may be typing elsewhere: keys typed at it answer nothing (not
// Esc, not a letter that picks "Shutdown Computer" in the combo) until the user has looked at it,
// here by a click.
TEST(ReminderWindow, KeysAnswerNothingUntilTheUserHasLookedAtIt)
{
    TReminderAnswer answer;
    auto* window = new TfrmReminder(Content(eaReminderOnly, false, At(9, 0)));
    QPointer<TfrmReminder> guard = window;
    window->AnswerTargetSet(&answer);
    window->show();
    const auto press = [](QWidget* target, int key, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(target, &event);
    };
    press(window->cbxExpirationAction, Qt::Key_S, QStringLiteral("s"));
    press(window, Qt::Key_Escape, QString());
    ASSERT_FALSE(guard.isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->cbxExpirationAction->currentIndex(), 0);
    EXPECT_TRUE(window->tmrKeysArm->isActive()) << "the quiet second starts again with each key";

    QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), window->mapToGlobal(QPointF(5, 5)),
        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->lblReminderText, &click);
    EXPECT_TRUE(window->KeysArmed());
    press(window, Qt::Key_Escape, QString());
    DeferredDeletesRun();
    EXPECT_TRUE(guard.isNull());
    EXPECT_TRUE(answer.Answered);
}

TEST(ReminderWindow, CountsDownAMinuteAndClosesItself)
{
    for (const bool inFocus : { false, true }) {
        TReminderAnswer answer { true, -1 };
        auto* window = new TfrmReminder(Content(inFocus ? eaReminderOnly : eaShutdown, inFocus, At(13, 0)));
        QPointer<TfrmReminder> guard = window;
        window->AnswerTargetSet(&answer);
        window->show();
        EXPECT_FALSE(window->cbxExpirationAction->isVisible());
        EXPECT_TRUE(window->lblTimeLeft->isVisible());
        EXPECT_TRUE(window->tmrCountdown->isActive());
        EXPECT_EQ(window->tmrCountdown->interval(), 1000);
        // Showing runs the first step at once.
        EXPECT_EQ(window->lblTimeValue->text(), QStringLiteral("01:00"));
        QStringList shown;
        for (int i = 0; i < 59; ++i) {
            window->tmrCountdownTimer();
            shown << window->lblTimeValue->text();
        }
        EXPECT_EQ(shown.first(), QStringLiteral("00:59"));
        EXPECT_EQ(shown[49], QStringLiteral("00:10"));
        EXPECT_EQ(shown.last(), QStringLiteral("00:01"));
        EXPECT_TRUE(window->isVisible());
        window->tmrCountdownTimer();
        DeferredDeletesRun();
        EXPECT_TRUE(guard.isNull());
        EXPECT_FALSE(answer.Grace);
        // The hidden combo keeps the configured action.
        EXPECT_EQ(answer.Choice, inFocus ? eaReminderOnly : eaShutdown);
    }
}

TEST(ReminderWindow, TheFiveMinuteButtonIsOfferedOnlyWhenAskedAndAsksForGrace)
{
    TReminderContent content = Content(eaCloseApplication, true, At(20, 0));
    content.FiveMinuteOffer = false;
    {
        TfrmReminder window(content);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.show();
        EXPECT_FALSE(window.btnFiveMinutes->isVisible());
        window.hide();
    }
    content.FiveMinuteOffer = true;
    TReminderAnswer answer;
    auto* window = new TfrmReminder(content);
    window->AnswerTargetSet(&answer);
    window->show();
    EXPECT_TRUE(window->btnFiveMinutes->isVisible());
    EXPECT_EQ(window->btnFiveMinutes->text(), QStringLiteral("Give me 5 Minutes"));
    window->btnFiveMinutes->click();
    DeferredDeletesRun();
    EXPECT_TRUE(answer.Grace);
}

TEST(ReminderWindow, TheMainWindowIsDisabledWhileItIsOpenAndEnabledAfter)
{
    TTempFolder data;
    DataLocationsCompute(data.Text(), data.Text() + "tallyhour");
    QWidget mainWindow;
    mainWindow.show();
    bool enabledMeanwhile = true;
    QTimer::singleShot(0, [&] {
        auto* window = ReminderShown();
        ASSERT_NE(window, nullptr);
        enabledMeanwhile = mainWindow.isEnabled();
        EXPECT_TRUE(window->isVisible());
        window->btnOk->click();
    });
    const TReminderAnswer answer = TfrmReminder::Execute(&mainWindow, false, true);
    EXPECT_FALSE(enabledMeanwhile);
    EXPECT_TRUE(mainWindow.isEnabled());
    EXPECT_FALSE(answer.Grace);
    EXPECT_TRUE(answer.Answered);

    // The program ending while the window is open (its loops end) is no answer.
    TReminderAnswer ended;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [] { QApplication::exit(0); });
        ended = TfrmReminder::Execute(&mainWindow, true, true);
    });
    QApplication::exec();
    EXPECT_FALSE(ended.Answered);
    EXPECT_TRUE(mainWindow.isEnabled());
    // The settings the window read go before their folder does.
    OptionsInstanceFree();
}

TEST(ReminderSettingsWindow, ShowsTheValuesAndTheExplanation)
{
    TfrmReminderSettings window(5400, eaShutdown);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Time-Up Settings"));
    EXPECT_EQ(window.medTimeLimit->displayText(), QStringLiteral("01:30"));
    EXPECT_EQ(window.cbxExpirationAction->currentText(), QStringLiteral("Shutdown Computer"));
    EXPECT_EQ(window.cbxExpirationAction->itemText(1), QStringLiteral("Close Browser/App."));
    EXPECT_TRUE(window.lblExplanation->text().startsWith(QStringLiteral("If you reduce the time allowed")));
    EXPECT_TRUE(window.lblExplanation->text().contains(QStringLiteral("\n-Increasing time allowed")));
}

TEST(ReminderSettingsWindow, OkKeepsAnInvalidEntryOpenWithItsMessageAndTakesAValidOne)
{
    auto* window = new TfrmReminderSettings(28800, eaReminderOnly);
    QPointer<TfrmReminderSettings> guard = window;
    window->show();
    struct TCase
    {
        QString Entry;
        QString Message;
    };
    for (const TCase& c : { TCase { QStringLiteral("00:00"), QStringLiteral("Limit can't be empty") },
             TCase { QStringLiteral("24:00"), QStringLiteral("'24:00' is not a valid time") },
             TCase { QString(), QStringLiteral("'  :  ' is not a valid time") } }) {
        window->medTimeLimit->setText(c.Entry);
        TMessageCatcher catcher;
        catcher.Arm();
        window->miOk->trigger();
        EXPECT_EQ(catcher.Title, QStringLiteral("Please Note"));
        EXPECT_EQ(catcher.Text, c.Message);
        EXPECT_TRUE(window->isVisible()) << c.Entry.toStdString();
    }
    window->medTimeLimit->setText(QStringLiteral("23:59"));
    window->cbxExpirationAction->setCurrentIndex(eaCloseApplication);
    EXPECT_EQ(window->EnteredLimitSeconds(), 86340);
    EXPECT_EQ(window->SelectedAction(), eaCloseApplication);
    window->btnOk->click();
    DeferredDeletesRun();
    EXPECT_TRUE(guard.isNull());
}

TEST(FocusSettingsWindow, ZeroIsRefusedAndOkGivesTheEnteredLength)
{
    TMonitoredList result;
    TDateTime duration = -1;
    bool started = true;
    QString message;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<TfrmFocusSettings*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Block Mode"));
        EXPECT_EQ(window->medTimeLimit->displayText(), QStringLiteral("00:00"));
        TMessageCatcher catcher;
        catcher.Arm();
        window->miOk->trigger();
        message = catcher.Text;
        EXPECT_TRUE(window->isVisible());
        window->medTimeLimit->setText(QStringLiteral("01:30"));
        window->btnOk->click();
    });
    started = TfrmFocusSettings::Execute(result, nullptr, duration);
    EXPECT_EQ(message, QStringLiteral("Limit can't be empty"));
    EXPECT_TRUE(started);
    EXPECT_NEAR(duration * 1440.0, 90.0, 1e-9);
}

// "on your list for": the words of the sentence, three labels, stand a space apart each.
TEST(FocusSettingsWindow, TheWordsOfTheSentenceStandEvenlyApart)
{
    TMonitoredList result;
    TfrmFocusSettings window(result, nullptr);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.show();
    QApplication::processEvents();
    // Where a label's words begin and end, its spaces left out.
    const auto inked = [](const QLabel* label) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setHtml(label->text());
        const QString text = document.toPlainText();
        const QString words = text.trimmed();
        const QFontMetrics metrics(label->font());
        const int left
            = label->x() + label->contentsRect().left() + metrics.horizontalAdvance(text.left(text.indexOf(words)));
        return std::pair<int, int>(left, left + metrics.horizontalAdvance(words));
    };
    const auto on = inked(window.lblOnYour);
    const auto yourList = inked(window.lblAppWizardLink);
    const auto forWord = inked(window.lblFor);
    const int space = QFontMetrics(window.lblOnYour->font()).horizontalAdvance(QLatin1Char(' '));
    EXPECT_NEAR(yourList.first - on.second, space, 1);
    EXPECT_NEAR(forWord.first - yourList.second, space, 1);
    EXPECT_GE(window.medTimeLimit->x() - forWord.second, space);
    EXPECT_LE(window.medTimeLimit->x() - forWord.second, 3 * space);
    window.hide();
}

TEST(FocusSettingsWindow, CancelAfterAddingThroughTheLinkKeepsTheAddedEntriesAndStartsNothing)
{
    TMonitoredList result;
    TDateTime duration = -1;
    int wizardRuns = 0;
    const auto addWizard = [&](TMonitoredList& list) {
        ++wizardRuns;
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitApp;
        item->Name = "/usr/bin/xterm" + std::to_string(wizardRuns);
        item->Caption = "Terminal " + std::to_string(wizardRuns);
        item->Active = true;
        const std::string caption = item->Caption;
        list.Add(caption, std::move(item));
    };
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<TfrmFocusSettings*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        emit window->lblAppWizardLink->linkActivated(QStringLiteral("#"));
        window->lblAppWizardLinkClick();
        window->medTimeLimit->setText(QStringLiteral("02:00"));
        window->btnCancel->click();
    });
    EXPECT_FALSE(TfrmFocusSettings::Execute(result, addWizard, duration));
    EXPECT_EQ(wizardRuns, 2);
    EXPECT_EQ(result.Count(), 2);
    EXPECT_EQ(duration, -1);
}
