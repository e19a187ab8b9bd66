#include "QtTestMain.h"

#include "ui/main/FrmReminderChange.h"
#include "ui/main/Reminders.h"

#include "model/DataLocations.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/Options.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTextLayout>

#include <memory>

namespace {

TDateTime At(int day, int hour, int minute, int second = 0)
{
    return EncodeDateTime(2024, 3, day, hour, minute, second);
}

// The lines a word-wrapped label shows its text in.
QStringList WrappedLines(const QLabel* label)
{
    QTextLayout layout(label->text(), label->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label->width());
        lines.append(label->text().mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    return lines;
}

class RemindersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestAppearanceReset();
        DataLocationsCompute(m_temp.Text(), "/opt/tallyhour/tallyhour");
        m_clock = std::make_unique<TFakeClock>(At(5, 11, 59));
        m_options = std::make_unique<TOptions>();
        m_options->ReminderTextSet(0, "water the plants");
        m_options->ReminderTextSet(1, "  \t ");
        m_options->ReminderTextSet(2, "call Anna");
        m_options->ReminderChangePeriod = 0;
        TReminderController::TControls controls { &m_combo, &m_memo, &m_morning, &m_afternoon, &m_evening };
        m_reminders = std::make_unique<TReminderController>(controls, *m_options, [this] { return m_paused; });
        // Creation: the memos are loaded, then the part of the day is selected.
        m_reminders->RemindersLoad();
        m_reminders->PartOfDayUpdate();
    }
    void TearDown() override
    {
        TfrmReminderChange::ExecHookSet(nullptr);
        m_reminders.reset();
        m_options.reset();
        m_clock.reset();
    }
    bool Marked(int index) const
    {
        return m_combo.itemData(index, TReminderComboDelegate::kMarkedRole).toBool();
    }

    TTempFolder m_temp;
    std::unique_ptr<TFakeClock> m_clock;
    std::unique_ptr<TOptions> m_options;
    QComboBox m_combo;
    QPlainTextEdit m_memo;
    QPlainTextEdit m_morning;
    QPlainTextEdit m_afternoon;
    QPlainTextEdit m_evening;
    std::unique_ptr<TReminderController> m_reminders;
    bool m_paused = false;
};

} // namespace

TEST_F(RemindersTest, TheMainPageFollowsThePartOfTheDayAtItsBoundariesOnly)
{
    ASSERT_EQ(m_combo.count(), 3);
    EXPECT_EQ(m_combo.itemText(1), QStringLiteral("Afternoon"));
    EXPECT_EQ(m_combo.currentIndex(), 0);
    EXPECT_EQ(m_memo.toPlainText(), QStringLiteral("water the plants"));

    // The user looks at the evening meanwhile; the next scan before noon leaves that alone.
    m_combo.setCurrentIndex(2);
    EXPECT_EQ(m_memo.toPlainText(), QStringLiteral("call Anna"));
    m_clock->Advance(30);
    m_reminders->PartOfDayUpdate();
    EXPECT_EQ(m_combo.currentIndex(), 2);

    // The first scan after 12:00 shows the afternoon.
    m_clock->Advance(31);
    m_reminders->PartOfDayUpdate();
    EXPECT_EQ(m_reminders->LastPartOfDay(), 1);
    EXPECT_EQ(m_combo.currentIndex(), 1);
    EXPECT_EQ(m_memo.toPlainText(), QStringLiteral("  \t "));
    // Showing a reminder is no edit.
    EXPECT_EQ(m_options->ReminderText(1), "  \t ");
}

TEST_F(RemindersTest, MarksAndTheMainMemoFollowEditsOfThePages)
{
    EXPECT_TRUE(Marked(0));
    EXPECT_FALSE(Marked(1));
    EXPECT_TRUE(Marked(2));
    m_afternoon.setPlainText(QStringLiteral("buy bread"));
    EXPECT_TRUE(Marked(1));
    EXPECT_EQ(m_options->ReminderText(1), "buy bread");
    // The main page shows the morning; an edit of another page memo leaves it alone.
    EXPECT_EQ(m_memo.toPlainText(), QStringLiteral("water the plants"));
    // An edit of the reminder the main page shows reaches its memo, so the user's next typing
    // there builds on the edit instead of storing the old text over it.
    m_morning.setPlainText(QStringLiteral("water the plants\nfeed the cat"));
    EXPECT_EQ(m_memo.toPlainText(), QStringLiteral("water the plants\nfeed the cat"));
    m_memo.appendPlainText(QStringLiteral("post the letter"));
    EXPECT_EQ(m_options->ReminderText(0), "water the plants\nfeed the cat\npost the letter");
    m_morning.setPlainText(QString());
    EXPECT_FALSE(Marked(0));
    EXPECT_TRUE(m_memo.toPlainText().isEmpty());
}

TEST_F(RemindersTest, TypingInTheMainMemoStoresAndUpdatesTheMatchingPageMemo)
{
    m_combo.setCurrentIndex(2);
    m_clock->Advance(60);
    m_memo.setPlainText(QStringLiteral("call Anna\nand Ben"));
    EXPECT_EQ(m_options->ReminderText(2), "call Anna\nand Ben");
    EXPECT_EQ(m_evening.toPlainText(), QStringLiteral("call Anna\nand Ben"));
    EXPECT_EQ(m_options->ReminderChangedDateTime, ProgramNow());

    // The same text again is no change: the date stays.
    const TDateTime changed = m_options->ReminderChangedDateTime;
    m_clock->Advance(60);
    m_memo.setPlainText(QStringLiteral("call Anna\nand Ben"));
    EXPECT_EQ(m_options->ReminderChangedDateTime, changed);
}

TEST_F(RemindersTest, LoadingIsNeverAnEdit)
{
    const TDateTime changed = m_options->ReminderChangedDateTime;
    m_clock->Advance(3600);
    m_reminders->RemindersLoad();
    EXPECT_EQ(m_options->ReminderChangedDateTime, changed);
    EXPECT_EQ(m_evening.toPlainText(), QStringLiteral("call Anna"));
}

TEST_F(RemindersTest, WeeklyPromptWaitsAWeekAfterItWasLastShownAndNeverStopsIt)
{
    int shown = 0;
    int chosenPeriod = 2;
    QString text;
    QStringList lines;
    TfrmReminderChange::ExecHookSet([&](TfrmReminderChange* window) {
        ++shown;
        text = window->lblWarningText->text();
        lines = WrappedLines(window->lblWarningText);
        EXPECT_EQ(window->cbxReminderChangeFrequency->currentIndex(), 2);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Please change reminders"));
        window->cbxReminderChangeFrequency->setCurrentIndex(chosenPeriod);
        window->miCancel->trigger(); // Esc keeps the choice too
    });
    const TDateTime now = ProgramNow();
    m_options->ReminderChangePeriod = 2;
    m_options->ReminderChangedDateTime = now - 10;
    m_options->ReminderShowedDateTime = now - 3;
    m_reminders->tmrReminderChangeTimer();
    EXPECT_EQ(shown, 0);

    m_clock->Advance(4 * 86400.0);
    m_reminders->tmrReminderChangeTimer();
    ASSERT_EQ(shown, 1);
    EXPECT_EQ(text, QStringLiteral("You have not updated your reminders in 14\u00a0day(s)"));
    // Wherever the text wraps, the count stays with its unit.
    ASSERT_FALSE(lines.isEmpty());
    for (const QString& line : lines) {
        EXPECT_EQ(line.contains(QLatin1String("14")), line.contains(QLatin1String("day(s)"))) << line.toStdString();
    }
    EXPECT_EQ(m_options->ReminderShowedDateTime, ProgramNow());
    EXPECT_FALSE(m_reminders->ReminderChangeShowing());

    m_clock->Advance(86400.0); // shown a day ago
    m_reminders->tmrReminderChangeTimer();
    EXPECT_EQ(shown, 1);

    m_clock->Advance(7 * 86400.0);
    m_paused = true;
    m_reminders->tmrReminderChangeTimer();
    EXPECT_EQ(shown, 1);
    m_paused = false;
    chosenPeriod = 0;
    m_reminders->tmrReminderChangeTimer();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(m_options->ReminderChangePeriod, 0);
    m_clock->Advance(400 * 86400.0);
    m_reminders->tmrReminderChangeTimer();
    EXPECT_EQ(shown, 2);
}

TEST(ReminderComboDelegate, ChecksOnlyMarkedItemsAtTheRightEnd)
{
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("Morning")));
    model.appendRow(new QStandardItem(QStringLiteral("Afternoon")));
    model.setData(model.index(0, 0), true, TReminderComboDelegate::kMarkedRole);
    TReminderComboDelegate delegate;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 120, TReminderComboDelegate::kItemHeight);
    option.palette.setColor(QPalette::Base, Qt::white);
    option.palette.setColor(QPalette::Text, Qt::black);
    // Rows with room around their text, not squeezed to the font's height.
    EXPECT_GE(delegate.sizeHint(option, model.index(0, 0)).height(), 20);
    EXPECT_GE(delegate.sizeHint(option, model.index(0, 0)).height(), option.fontMetrics.height() + 6);

    const QRect check = TReminderComboDelegate::CheckRect(option.rect, QSize(10, 10));
    EXPECT_EQ(check, QRect(90 + (30 - 10) / 2, 5, 10, 10)); // area from 120 - 20 - 10 = 90

    const auto render = [&](int row) {
        QImage image(120, 20, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        delegate.paint(&painter, option, model.index(row, 0));
        return image.copy(90, 0, 30, 20);
    };
    const QImage marked = render(0);
    const QImage unmarked = render(1);
    QImage blank(30, 20, QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(unmarked, blank);
    EXPECT_NE(marked, blank);
}
