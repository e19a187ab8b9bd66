#pragma once

#include <cstdint>
#include <string>

// Puts one of the program's own windows where the program means it to be, on a desktop that
// places windows itself and ignores where a program moves them (sway floats each in the middle
// of the screen). Desktops that honour a program's own moves have none.
class TWindowPlacement
{
public:
    enum class TResult
    {
        Placed,
        NotMapped, // the desktop does not show the window yet: worth asking again shortly
        Refused,
    };

    virtual ~TWindowPlacement() = default;

    // Moves the window of process `processId` titled `title` so that its top-left corner is at
    // (x, y) on the desktop. Called on the thread of the program's windows only.
    virtual TResult WindowPlace(int64_t processId, const std::string& title, int x, int y) = 0;
};
