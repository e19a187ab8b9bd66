#include "ui/main/DockSettings.h"

#include "storage/WindowPreferences.h"

int TDockSettingsStored::AlignGet()
{
    return WindowPreferences().AlignGet();
}

void TDockSettingsStored::AlignSet(int value)
{
    WindowPreferences().AlignSet(value);
}

int TDockSettingsStored::AlignVerticalGet()
{
    return WindowPreferences().AlignVerticalGet();
}

void TDockSettingsStored::AlignVerticalSet(int value)
{
    WindowPreferences().AlignVerticalSet(value);
}

bool TDockSettingsStored::AutohideGet()
{
    return WindowPreferences().AutohideGet();
}

void TDockSettingsStored::AutohideSet(bool value)
{
    WindowPreferences().AutohideSet(value);
}
