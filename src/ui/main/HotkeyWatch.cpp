#include "ui/main/HotkeyWatch.h"

#include "platform/HotkeySource.h"

#include <QSocketNotifier>

THotkeyWatch::THotkeyWatch(THotkeySource* source, QObject* parent)
    : QObject(parent)
    , m_source(source)
{
    if (!m_source || !m_source->CanWatchKeys()) {
        return;
    }
    m_source->KeyEventHandlerSet([this](const TKeyEvent& event) { KeyEventTake(event); });
    const int descriptor = m_source->EventDescriptor();
    if (descriptor >= 0) {
        m_notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &THotkeyWatch::EventsRead);
        // Events may already wait from before the notifier existed.
        EventsRead();
    }
}

THotkeyWatch::~THotkeyWatch()
{
    if (m_source) {
        m_source->KeyEventHandlerSet(nullptr);
    }
}

bool THotkeyWatch::Available() const
{
    return m_source && m_source->CanWatchKeys();
}

void THotkeyWatch::EventsRead()
{
    if (!m_source->EventsDispatch() && m_notifier) {
        m_notifier->setEnabled(false);
    }
}

void THotkeyWatch::KeyEventTake(const TKeyEvent& event)
{
    if (event.Kind == TKeyEventKind::Hotkey) {
        // The desktop's shortcut is the whole hot key: a lone Alt press before it pairs with
        // nothing.
        Pairing.HotkeyLastPress = 0;
        emit PairPressed();
        return;
    }
    if (!m_filter.KeyEvent(event)) {
        return;
    }
    emit Pressed();
    if (Pairing.PressCount(ProgramNow())) {
        emit PairPressed();
    }
}
