#include "ui/framework/ApplicationErrorMessage.h"

#include "ui/framework/FrmErrorMessage.h"

#include "model/ProgramLog.h"

void TApplicationErrorMessage::OnException(QObject*, const std::exception& error)
{
    LogError(error, "; TApplicationErrorMessage.OnException:");
    try {
        ErrorWindowShow(error.what());
    } catch (...) {
        // A failure of the error window itself is not reported again: that could loop.
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
