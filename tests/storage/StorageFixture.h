#pragma once

#include "model/DataLocations.h"
#include "model/ProgramLog.h"
#include "model/TextHelpers.h"
#include "model/ZaraveDezeZurirevuzorDefs.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

// A fresh data folder per test, the program clock at a fixed moment, and no store or
// preferences object left over from an earlier test.
class StorageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        OptionsInstanceFree();
        TOptions::StatementHookSet(nullptr);
        TOptions::LoadWaitSet(TOptions::kLoadWaitDefaultMs);
        WindowPreferencesFree();
        DataLocationsCompute(m_temp.Text(), "/opt/tallyhour/tallyhour");
        LogFileNameSet("");
        m_clock = std::make_unique<TFakeClock>(EncodeDateTime(2011, 4, 21, 10, 0, 0));
    }
    void TearDown() override
    {
        TOptions::StatementHookSet(nullptr);
        OptionsInstanceFree();
        WindowPreferencesFree();
        m_clock.reset();
    }
    const TDataLocations& Locations() const
    {
        return DataLocations();
    }
    std::string LogText() const
    {
        return FileText(Locations().LogFileName);
    }

    TTempFolder m_temp;
    std::unique_ptr<TFakeClock> m_clock;
};
