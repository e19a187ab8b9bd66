#include "ui/framework/FrmBase.h"
#include "ui/framework/FrmWarning.h"
#include "ui/framework/TimeEntry.h"

#include "model/Exceptions.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

TEST(TimeEntry, MessagesForEmptyTooLateAndUnreadableEntries)
{
    EXPECT_EQ("Limit can't be empty", TimeEntryMessage("00:00"));
    EXPECT_EQ("", TimeEntryMessage("23:59"));
    EXPECT_EQ("", TimeEntryMessage(" 1:05"));
    EXPECT_EQ("Limit can't be greater than 23:59", TimeEntryMessage("23:59:30"));
    EXPECT_EQ("'  :  ' is not a valid time", TimeEntryMessage("  :  "));
    EXPECT_EQ("'24:00' is not a valid time", TimeEntryMessage("24:00"));
    EXPECT_EQ("'12:60' is not a valid time", TimeEntryMessage("12:60"));
    EXPECT_EQ("'1:2:3:4' is not a valid time", TimeEntryMessage("1:2:3:4"));
    EXPECT_THROW(TextToTime("ab:cd"), EConvertError);
    EXPECT_DOUBLE_EQ(0.5, TextToTime("12:00"));
}

TEST(TimeEntry, CheckShowsTheMessageUnderPleaseNoteAndRefocusesTheEdit)
{
    QWidget host;
    auto* edit = new QLineEdit(&host);
    auto* other = new QLineEdit(&host);
    edit->setInputMask(QStringLiteral("99:99"));
    edit->setText(QStringLiteral("00:00"));
    other->setFocus();

    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<TfrmWarning*>(QApplication::activeModalWidget());
        ASSERT_NE(nullptr, window);
        title = window->lblCaption->text();
        text = window->lblWarning->text();
        window->miCancel->trigger();
    });
    EXPECT_FALSE(TfrmBase::TimeEntryCheck(edit));
    EXPECT_EQ(QStringLiteral("Please Note"), title);
    EXPECT_EQ(QStringLiteral("Limit can't be empty"), text);
    EXPECT_EQ(edit, host.focusWidget());

    edit->setText(QStringLiteral("23:59"));
    EXPECT_TRUE(TfrmBase::TimeEntryCheck(edit)) << "no window may open here";
}

TEST(TimeEntry, UntouchedMaskedEntryIsQuotedAsTheUserSeesIt)
{
    QWidget host;
    auto* edit = new QLineEdit(&host);
    QStringList shown;
    const auto answerNextMessage = [&] {
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<TfrmWarning*>(QApplication::activeModalWidget());
            ASSERT_NE(nullptr, window);
            shown << window->lblWarning->text();
            window->miOk->trigger();
        });
    };

    edit->setInputMask(QStringLiteral("99:99"));
    answerNextMessage();
    EXPECT_FALSE(TfrmBase::TimeEntryCheck(edit));
    edit->setInputMask(QStringLiteral("99:99;_"));
    edit->setText(QStringLiteral("7"));
    answerNextMessage();
    EXPECT_FALSE(TfrmBase::TimeEntryCheck(edit));
    EXPECT_EQ(
        QStringList({ QStringLiteral("'  :  ' is not a valid time"), QStringLiteral("'7 :  ' is not a valid time") }),
        shown);

    edit->setText(QStringLiteral("0130"));
    EXPECT_TRUE(TfrmBase::TimeEntryCheck(edit));
}
