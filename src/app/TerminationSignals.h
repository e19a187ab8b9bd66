#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into an orderly end of the message loop, so the program
// saves and releases what it holds when the session or a user asks it to close.
class TTerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

signals:
    void Requested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};
