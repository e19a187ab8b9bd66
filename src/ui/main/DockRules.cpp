#include "ui/main/DockRules.h"

TDockPlacement DockPlacementGet(
    int align, int alignVertical, bool liteView, int width, int liteHeight, const TWorkArea& area)
{
    TDockPlacement placement;
    placement.Height = liteView ? liteHeight : area.Height();
    placement.Left = AlignIsRight(align) ? area.Right - width : area.Left;
    // The height is settled first, so a window docked at the bottom ends flush with it even when
    // this placement also changes its height.
    placement.Top = (liteView && alignVertical == kAlignVerticalBottom) ? area.Bottom - placement.Height : area.Top;
    return placement;
}

TDragSnap DragSnapGet(int x, int y, int align, int alignVertical, bool liteView, const TWorkArea& area)
{
    TDragSnap snap { align, alignVertical };
    if (liteView) {
        snap.AlignVertical = y > area.Top + area.Height() / 2 ? kAlignVerticalBottom : kAlignVerticalTop;
    }
    const int middle = area.Left + area.Width() / 2;
    if (AlignIsRight(align)) {
        if (x < middle) {
            snap.Align = kAlignLeft;
        }
    } else if (x > middle) {
        snap.Align = kAlignRight;
    }
    return snap;
}

TSlideStep AutohideSlideStep(uint8_t state, int align, int left, int width, const TWorkArea& area)
{
    if (state == kAutohideShown) {
        state = kAutohideSlidingOut;
    } else if (state == kAutohideHidden) {
        state = kAutohideSlidingIn;
    }
    const int step = width / 10;
    const bool right = AlignIsRight(align);
    TSlideStep result { left, state, false };
    if (state == kAutohideSlidingOut) {
        const int next = right ? left + step : left - step;
        const bool stillOn = right ? next <= area.Right : next + width >= area.Left;
        if (stillOn && step > 0) {
            result.Left = next;
            return result;
        }
        result.Left = right ? area.Right - kAutohideStrip : area.Left - width + kAutohideStrip;
        result.State = kAutohideHidden;
        result.Finished = true;
        return result;
    }
    if (state == kAutohideSlidingIn) {
        const int next = right ? left - step : left + step;
        const bool stillOff = right ? next + width >= area.Right : next <= area.Left;
        if (stillOff && step > 0) {
            result.Left = next;
            return result;
        }
        result.Left = right ? area.Right - width : area.Left;
        result.State = kAutohideShown;
        result.Finished = true;
    }
    return result;
}
