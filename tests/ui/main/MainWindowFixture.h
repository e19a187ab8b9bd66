#pragma once

// A fresh data folder, the clock at 10:00 on a working day, the day's reset already run, a scan
// every five seconds against a one-hour limit, and a scripted desktop whose front window is
// unlisted. Each test suite fills the list; the main window is made on first use.
#include "ui/main/FrmMain.h"

#include "QtTestMain.h"

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/ActivityDatabase.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"
#include "support/desktop/FakeDesktop.h"
#include "support/desktop/FakeHotkeySource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class TMainWindowFixture : public ::testing::Test
{
protected:
    static constexpr const char* kXterm = "/usr/bin/xterm";

    void SetUp() override
    {
        OptionsInstanceFree();
        WindowPreferencesFree();
        DataLocationsCompute(m_folder.Text(), "/opt/tallyhour/tallyhour");
        LogFileNameSet(m_folder.Text() + "test.log");
        TestAppearanceReset();
        TestErrorReporter().LastShown.clear();
        m_clock = std::make_unique<TFakeClock>(EncodeDateTime(2024, 3, 5, 10, 0, 0));
        TOptions& options = OptionsInstance();
        options.ScanPeriodSeconds = 5;
        options.TimeLimitSeconds = 3600;
        // The day's reset has run already: the tests decide when the next one comes.
        options.ResetDateTime = EncodeDateTime(2024, 3, 6, 4, 0, 0);
        ListFill(options);
        options.ListSave();
        options.OptionsSave();
        m_desktop.WindowShow({ 0, "/usr/bin/unlisted", "Unlisted", "An unlisted program", "", true });
    }
    void TearDown() override
    {
        m_window.reset();
        OptionsInstanceFree();
        WindowPreferencesFree();
        LogFileNameSet({});
        m_clock.reset();
    }

    // The time-limit list and the options the suite's tests start from.
    virtual void ListFill(TOptions& options) = 0;

    // The window on this desktop, made once; `power` is the session watch it gets, if any.
    TfrmMain& WindowMake(TSessionPower* power)
    {
        if (!m_window) {
            m_window = std::make_unique<TfrmMain>(
                TMainWindowDesktop { &m_desktop, &m_desktop.Processes(), &m_desktop, power, &m_keys, true });
        }
        return *m_window;
    }

    // One tick of the scan timer, and the time-up window it may ask for, which opens from the
    // event loop after the tick.
    void ScanRun()
    {
        m_window->tmrScanTimer();
        QCoreApplication::processEvents();
    }

    static void EntryAdd(TMonitoredList& list, const std::string& name, const std::string& caption)
    {
        auto item = std::make_unique<TMonitoredItem>();
        item->Name = name;
        item->Caption = caption;
        item->ItemType = mitApp;
        item->Checked = true;
        list.Add(caption, std::move(item));
    }
    static void EntryAdd(const std::string& name, const std::string& caption)
    {
        EntryAdd(OptionsInstance().MonitoredItems(), name, caption);
    }

    void XtermInFront()
    {
        m_desktop.WindowShow({ 0, kXterm, "xterm", "xterm", "", true });
    }

    // The charged rows in order, as "columns,...;" for the columns asked.
    static std::string RowsText(const std::string& columns)
    {
        auto table = ActivityDBGetTable("SELECT " + columns + " FROM applications ORDER BY rowid");
        std::string text;
        for (table->First(); !table->AtEnd(); table->Next()) {
            for (int column = 0; column < table->ColumnCount(); ++column) {
                text += (column > 0 ? "," : "") + table->TextAt(column);
            }
            text += ";";
        }
        return text;
    }

    TTempFolder m_folder;
    std::unique_ptr<TFakeClock> m_clock;
    TFakeDesktop m_desktop;
    // The hot key keeps a window without a tray (as offscreen has none) reachable when hidden.
    TFakeHotkeySource m_keys;
    std::unique_ptr<TfrmMain> m_window;
};
