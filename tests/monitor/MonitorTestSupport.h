#pragma once

#include "model/MonitoredObjects.h"
#include "model/ProgramLog.h"
#include "support/TestSupport.h"

#include <fstream>
#include <memory>
#include <string>

// Adds an entry to a time-limit list the way the settings load it: under its caption.
inline TMonitoredItem* ListedItemAdd(TMonitoredList& list, TMonitoredItemType type, const std::string& name,
    const std::string& caption, bool active = true)
{
    auto item = std::make_unique<TMonitoredItem>();
    item->ItemType = type;
    item->Name = name;
    item->Caption = caption;
    item->Active = active;
    TMonitoredItem* raw = item.get();
    list.Add(caption, std::move(item));
    return raw;
}

// Points the program's log at a file of a fresh folder for the test's lifetime.
class TLogCapture
{
public:
    TLogCapture()
        : m_fileName(m_folder.Text() + "test.log")
    {
        LogFileNameSet(m_fileName);
    }
    ~TLogCapture()
    {
        LogFileNameSet({});
    }
    std::string Text() const
    {
        return FileText(m_fileName);
    }

private:
    TTempFolder m_folder;
    std::string m_fileName;
};
