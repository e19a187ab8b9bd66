#include "support/desktop/FakeHotkeySource.h"

void TFakeHotkeySource::KeyEventPush(const TKeyEvent& event)
{
    if (m_canWatch && m_handler) {
        m_handler(event);
    }
}

void TFakeHotkeySource::AltPress(uint32_t code)
{
    KeyEventPush(TKeyEvent { TKeyEventKind::AltDown, code });
    KeyEventPush(TKeyEvent { TKeyEventKind::AltUp, code });
}
