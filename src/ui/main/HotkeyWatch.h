#pragma once

#include "ui/main/HotkeyRules.h"

#include <QObject>

class QSocketNotifier;
class THotkeySource;

// The program's hot key: Alt pressed twice within half a second, seen without taking Alt away
// from any other program, or the desktop's own shortcut for it where the desktop reports one.
// The key watcher's events are read as the event loop finds them.
class THotkeyWatch : public QObject
{
    Q_OBJECT

public:
    // `source` may be null (a desktop that cannot be watched): there is no hot key then.
    explicit THotkeyWatch(THotkeySource* source, QObject* parent = nullptr);
    ~THotkeyWatch() override;

    bool Available() const;

    THotkeyPairing Pairing;

signals:
    // One press of Alt alone.
    void Pressed();
    // The second press of a pair, or the desktop's shortcut: show or hide the main window.
    void PairPressed();

private:
    void KeyEventTake(const TKeyEvent& event);
    void EventsRead();

    THotkeySource* m_source;
    QSocketNotifier* m_notifier = nullptr;
    TAltPressFilter m_filter;
};
