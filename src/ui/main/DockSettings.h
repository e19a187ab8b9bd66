#pragma once

#include <cstdint>

// The docking choices the main window keeps: the edge ("Align"), the vertical docking of Lite
// view ("AlignVertical") and auto-hide. The preferences file stores them; tests keep them in
// memory.
class TDockSettings
{
public:
    virtual ~TDockSettings() = default;
    virtual int AlignGet() = 0;
    virtual void AlignSet(int value) = 0;
    virtual int AlignVerticalGet() = 0;
    virtual void AlignVerticalSet(int value) = 0;
    virtual bool AutohideGet() = 0;
    virtual void AutohideSet(bool value) = 0;
};

// In memory, with the preferences file's defaults: right edge, top, no auto-hide.
class TDockSettingsMemory : public TDockSettings
{
public:
    int Align = 1;
    int AlignVertical = 0;
    bool Autohide = false;
    int Writes = 0; // how many values were stored

    int AlignGet() override
    {
        return Align;
    }
    void AlignSet(int value) override
    {
        Align = value;
        ++Writes;
    }
    int AlignVerticalGet() override
    {
        return AlignVertical;
    }
    void AlignVerticalSet(int value) override
    {
        AlignVertical = value;
        ++Writes;
    }
    bool AutohideGet() override
    {
        return Autohide;
    }
    void AutohideSet(bool value) override
    {
        Autohide = value;
        ++Writes;
    }
};

// Section "Position" of the preferences file.
class TDockSettingsStored : public TDockSettings
{
public:
    int AlignGet() override;
    void AlignSet(int value) override;
    int AlignVerticalGet() override;
    void AlignVerticalSet(int value) override;
    bool AutohideGet() override;
    void AutohideSet(bool value) override;
};
