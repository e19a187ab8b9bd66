#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the key watcher reports of the keyboard and mouse, anywhere on the desktop. Keys are
// told apart only as far as the hot key needs: Alt, or any other key. A desktop that recognises
// the hot key itself (a global shortcut bound for the program) reports it whole, as Hotkey.
enum class TKeyEventKind : uint8_t
{
    AltDown,
    AltUp,
    OtherKeyDown,
    OtherKeyUp,
    ButtonDown, // a mouse button
    Hotkey, // the hot key itself, as the desktop recognised it
};

struct TKeyEvent
{
    TKeyEventKind Kind = TKeyEventKind::OtherKeyDown;
    uint32_t Code = 0; // the key's code on this keyboard (0 for buttons)
};

// Watches the keyboard for the program's hot key without taking any key away from the other
// programs: every key keeps working everywhere, the watcher only looks.
class THotkeySource
{
public:
    virtual ~THotkeySource() = default;

    // False when this desktop lets no program watch the keys (no input extension, a broken
    // connection); the program then has no hot key.
    virtual bool CanWatchKeys() const = 0;
    // A descriptor that becomes readable when events wait, for the caller's event loop to watch;
    // -1 when the source calls the handler by itself (or cannot watch at all).
    virtual int EventDescriptor() const = 0;
    // Reads every event that waits, without blocking, and hands each to the handler. Returns
    // false once the source has stopped for good (its connection broke); never raises.
    virtual bool EventsDispatch() = 0;
    virtual void KeyEventHandlerSet(std::function<void(const TKeyEvent&)> handler) = 0;
    // What the user presses for the hot key, in words for messages ("Alt pressed twice"); empty
    // when the source cannot watch keys.
    virtual std::string HotkeyNameGet() const = 0;
};
