#pragma once

#include <QApplication>

class TApplicationErrorMessage;

// The program's application object. Qt lets an exception out of an event or timer handler
// only through notify(); here it is handed to the error reporter and the loop goes on.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    // `reporter` must outlive the application; by default the program-wide one.
    TApplication(int& argc, char** argv, TApplicationErrorMessage* reporter = nullptr);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    TApplicationErrorMessage* m_reporter;
};
