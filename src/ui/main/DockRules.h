#pragma once

#include <cstdint>

// The rules that place the main window at the edge of the screen's work area, snap it to the
// other edge when it is dragged across the middle, and slide it out of sight and back. They
// need no window, so they are checked on plain numbers.

// The part of the screen windows may occupy. Right and Bottom lie just past the last column and
// row (Right = Left + width), so a window of width w flush with the right edge starts at
// Right - w.
struct TWorkArea
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const
    {
        return Right - Left;
    }
    int Height() const
    {
        return Bottom - Top;
    }
    bool operator==(const TWorkArea&) const = default;
};

// "Align": 1 docks right; every other stored value docks left (2 is the value the program
// writes). "AlignVertical" (Lite view only): 1 docks at the bottom, anything else at the top.
inline constexpr int kAlignRight = 1;
inline constexpr int kAlignLeft = 2;
inline constexpr int kAlignVerticalBottom = 1;
inline constexpr int kAlignVerticalTop = 2;

inline bool AlignIsRight(int align)
{
    return align == kAlignRight;
}

// AutohideState values.
inline constexpr uint8_t kAutohideShown = 0;
inline constexpr uint8_t kAutohideSlidingOut = 1;
inline constexpr uint8_t kAutohideHidden = 2;
inline constexpr uint8_t kAutohideSlidingIn = 3;

// How many pixels of a hidden window stay on the screen, to be found with the mouse.
inline constexpr int kAutohideStrip = 2;

struct TDockPlacement
{
    int Left = 0;
    int Top = 0;
    int Height = 0;
};

// Where the window goes: flush with the docking edge, at the top (or, in Lite view docked at
// the bottom, flush with the bottom), `liteHeight` high in Lite view, else as high as the work
// area.
TDockPlacement DockPlacementGet(
    int align, int alignVertical, bool liteView, int width, int liteHeight, const TWorkArea& area);

struct TDragSnap
{
    int Align = kAlignRight;
    int AlignVertical = 0;
};

// The docking a drag proposes when the window's new top-left corner would be (x, y): past the
// middle of the work area the window belongs to the other edge; in Lite view the vertical half
// picks top or bottom. Halves are whole pixels. The window itself never follows the mouse.
TDragSnap DragSnapGet(int x, int y, int align, int alignVertical, bool liteView, const TWorkArea& area);

struct TSlideStep
{
    int Left = 0;
    uint8_t State = kAutohideShown;
    // The slide has ended: the window is hidden (State 2) or shown again (State 0).
    bool Finished = false;
};

// One tick of the auto-hide slide of a window of `width` whose left edge is at `left`: state 0
// starts sliding out, state 2 starts sliding in; each tick moves a tenth of the width, and the
// last one puts the window exactly in place: hidden with kAutohideStrip pixels left on the
// screen, or flush with its edge again. Only the left coordinate changes.
TSlideStep AutohideSlideStep(uint8_t state, int align, int left, int width, const TWorkArea& area);
