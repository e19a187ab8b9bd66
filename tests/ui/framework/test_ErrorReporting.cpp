#include "QtTestMain.h"

#include "ui/framework/FrmBase.h"
#include "ui/framework/FrmErrorMessage.h"
#include "ui/framework/ImageButton.h"

#include "model/Exceptions.h"
#include "model/ProgramLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
