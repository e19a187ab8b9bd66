#include "ui/framework/ApplicationErrorMessage.h"

#include "ui/framework/FrmErrorMessage.h"

#include "model/ProgramLog.h"
#include "model/TextHelpers.h"

void TApplicationErrorMessage::OnException(QObject*, const std::exception& error)
{
    LogError(error, "; TApplicationErrorMessage.OnException:");
    if (m_windowOpen) {
        ++m_repeatCount;
        return;
    }
    m_windowOpen = true;
    m_repeatCount = 0;
    try {
        ErrorWindowShow(error.what());
    } catch (...) {
        // A failure of the error window itself is not reported again: that could loop.
    }
    m_windowOpen = false;
    if (m_repeatCount > 0) {
        LogMessageWrite(
            Format("%d more error(s) came while the error window was open; each is logged above", m_repeatCount));
    }
}

void TApplicationErrorMessage::ErrorWindowShow(const std::string& message)
{
    auto* window = new TfrmErrorMessage();
    window->ErrorShow(QString::fromStdString(message));
}

TApplicationErrorMessage& ApplicationErrorMessage()
{
    static TApplicationErrorMessage reporter;
    return reporter;
}
