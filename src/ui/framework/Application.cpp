#include "ui/framework/Application.h"

#include "ui/framework/ApplicationErrorMessage.h"

#include "model/Exceptions.h"

TApplication::TApplication(int& argc, char** argv, TApplicationErrorMessage* reporter)
    : QApplication(argc, argv)
    , m_reporter(reporter ? reporter : &ApplicationErrorMessage())
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        m_reporter->OnException(receiver, error);
    } catch (...) {
        m_reporter->OnException(receiver, Exception("Unknown error"));
    }
    return false;
}
