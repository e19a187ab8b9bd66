#include "QtTestMain.h"

#include "ui/framework/FrmBase.h"
#include "ui/framework/FrmErrorMessage.h"
#include "ui/framework/ImageButton.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMouseEvent>

namespace {

std::string LogTail()
{
    std::string all = FileText(LogFileNameGet());
    while (all.size() >= 2 && all.compare(all.size() - 2, 2, "\r\n") == 0) {
        all.resize(all.size() - 2);
    }
    const size_t start = all.rfind("\r\n");
    return start == std::string::npos ? all : all.substr(start + 2);
}

// An object whose event handler fails, as a buggy timer handler would.
class TFailingObject : public QObject
{
protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User) {
            throw EConvertError("'abc' is not a valid integer value");
        }
        return QObject::event(event);
    }
};

} // namespace

TEST(ErrorReporter, HandlerErrorIsLoggedAndShownAndTheProgramGoesOn)
{
    TestErrorReporter().LastShown.clear();
    TFailingObject failing;
    QEvent event(QEvent::User);
    EXPECT_NO_THROW(QCoreApplication::sendEvent(&failing, &event));
    EXPECT_EQ("'abc' is not a valid integer value", TestErrorReporter().LastShown);
    const std::string line = LogTail();
    EXPECT_NE(std::string::npos,
        line.find(" ErrorClassName: EConvertError; TApplicationErrorMessage.OnException:'abc' is not a valid "
                  "integer value"))
        << line;
}

namespace {

// A reporter whose window stays open while a timer handler fails again and again, as the
// modal loop of the real window lets the main window's timers run.
class TRepeatingErrorReporter : public TApplicationErrorMessage
{
public:
    int WindowsShown = 0;
    int WindowsOpen = 0;
    int MostOpenAtOnce = 0;
    int FailuresWhileOpen = 3;

protected:
    void ErrorWindowShow(const std::string&) override
    {
        ++WindowsShown;
        MostOpenAtOnce = std::max(MostOpenAtOnce, ++WindowsOpen);
        for (int tick = 0; tick < FailuresWhileOpen; ++tick) {
            OnException(nullptr, EConvertError("tick " + std::to_string(tick)));
        }
        --WindowsOpen;
    }
};

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

TEST(ErrorReporter, ErrorsWhileTheWindowIsOpenAreLoggedAndCountedButOpenNoFurtherWindow)
{
    const size_t logStart = FileText(LogFileNameGet()).size();
    TRepeatingErrorReporter reporter;
    reporter.OnException(nullptr, EConvertError("first"));
    EXPECT_EQ(reporter.WindowsShown, 1);
    EXPECT_EQ(reporter.MostOpenAtOnce, 1);
    EXPECT_EQ(reporter.RepeatCount(), 3);
    const std::string log = FileText(LogFileNameGet()).substr(logStart);
    EXPECT_EQ(Occurrences(log, "ErrorClassName: EConvertError; TApplicationErrorMessage.OnException:"), 4u) << log;
    EXPECT_EQ(Occurrences(log, "3 more error(s) came while the error window was open"), 1u) << log;

    // Once closed, the next error has its own window again.
    reporter.FailuresWhileOpen = 0;
    reporter.OnException(nullptr, EConvertError("later"));
    EXPECT_EQ(reporter.WindowsShown, 2);
    EXPECT_EQ(reporter.RepeatCount(), 0);
}

TEST(ErrorWindow, TextsAndClipboardHoldOnlyTheBareMessage)
{
    auto* window = new TfrmErrorMessage();
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_EQ(QStringLiteral("Application Error"), window->lblCaption->text());
    EXPECT_EQ(QStringLiteral("Sorry: The application has a hiccup. Please continue. If you see this message again then"
                             "                   with a copy of the error message. Apologies for any inconvenience."),
        window->lblDescription->text());
    EXPECT_EQ(QStringLiteral("contact us"), window->lblRegister->text());
    EXPECT_EQ(QStringLiteral("Copy Error to Clipboard"), window->btnCopyErrorToClipboard->text());

    window->ErrorText = QStringLiteral("Error executing SQL statement\r\nno such table: Setting");
    window->btnCopyErrorToClipboard->click();
    EXPECT_EQ(window->ErrorText, QGuiApplication::clipboard()->text());

    QString opened;
    WebPageOpenerSet([&](const QString& address) { opened = address; });
    QMouseEvent release(
        QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->lblRegister, &release);
    WebPageOpenerSet({});
    EXPECT_EQ(QStringLiteral("https://" TALLYHOUR_SITE_HOST "/contact"), opened);
    delete window;
}
