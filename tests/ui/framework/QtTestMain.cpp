// The widget tests run inside the program's own application object, so an exception out of an
// event handler takes the same road as in the program. The appearance is kept in memory and the
// log goes to a temporary file, so no test touches the user's data folder.
#include "QtTestMain.h"

#include "ui/framework/Appearance.h"
#include "ui/framework/Application.h"

#include "model/ProgramLog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>
#include <string>

namespace {

TAppearanceMemory g_appearance;

} // namespace

std::function<void(QObject*, const std::exception&)> g_reportedError;

void TTestErrorReporter::ErrorWindowShow(const std::string& message)
{
    LastShown = message;
}

TTestErrorReporter& TestErrorReporter()
{
    static TTestErrorReporter reporter;
    return reporter;
}

TAppearanceMemory& TestAppearance()
{
    return g_appearance;
}

void TestAppearanceReset()
{
    g_appearance = TAppearanceMemory();
    AppearanceSourceSet(&g_appearance);
}

int main(int argc, char** argv)
{
    // Offscreen always; a run may give that platform a screen of its own.
    if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QLatin1String("offscreen"))) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // One log per process: the tests run side by side and count the lines they caused.
    const auto logFile = std::filesystem::temp_directory_path()
        / ("tallyhour-ui-tests-" + std::to_string(QCoreApplication::applicationPid()) + ".log");
    LogFileNameSet(logFile.string());
    // Qt's own settings (the file dialog keeps its history and last folder there) go to a folder
    // of this process: a folder remembered by an earlier run, since deleted, held a scripted file
    // dialog open for good, and the tests never write the user's configuration.
    const auto configFolder = std::filesystem::temp_directory_path()
        / ("tallyhour-ui-tests-config-" + std::to_string(QCoreApplication::applicationPid()));
    std::filesystem::create_directories(configFolder);
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(configFolder.string()));
    TApplication app(argc, argv, &TestErrorReporter());
    TestAppearanceReset();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    AppearanceSourceSet(nullptr);
    std::error_code ignored;
    std::filesystem::remove(logFile, ignored);
    std::filesystem::remove_all(configFolder, ignored);
    return result;
}
