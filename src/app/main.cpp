#include "app/PlatformPick.h"
#include "app/TerminationSignals.h"
#include "app/WindowPlacementFollow.h"

#include "ui/config/ConfigurationWindows.h"
#include "ui/framework/Application.h"
#include "ui/framework/ApplicationErrorMessage.h"
#include "ui/framework/FrmBase.h"
#include "ui/main/FrmMain.h"
#include "ui/main/MainWindowDock.h"
#include "ui/main/MainWindowSeams.h"
#include "ui/main/TrayIcon.h"

#include "model/DataLocations.h"
#include "platform/PlatformPick.h"
#include "storage/ActivityDatabase.h"
#include "storage/InstanceLock.h"
#include "storage/Options.h"
#include "storage/WindowPreferences.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// Failures before the program's own windows can be trusted (no data folder, no lock file) are
// shown in the desktop's plain message box, and written where a terminal can see them.
void PlainMessageShow(const std::string& text)
{
    std::fprintf(stderr, "tallyhour: %s\n", text.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("Tallyhour"), QString::fromStdString(text));
}

void FlagFileDelete(const TDataLocations* locations)
{
    if (locations) {
        std::error_code ignored;
        std::filesystem::remove(locations->FlagFileName, ignored);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (const std::string missing = WindowPlatformChoose(); !missing.empty()) {
        std::fprintf(stderr, "tallyhour: %s\n", missing.c_str());
        return 2;
    }
    // Set-up of the application object; from here on errors that an event or timer handler lets
    // through reach the error reporter.
    TApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyhour"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The end of the desktop session, a user's kill or Ctrl+C all take the normal way out, so
    // the settings are saved and the lock is released; also from inside a message window.
    // exit() rather than quit(): it also ends a message window's own loop, before or without
    // the main loop. A request that comes before any loop runs is remembered.
    TTerminationSignals terminationSignals;
    bool endRequested = false;
    QObject::connect(&terminationSignals, &TTerminationSignals::Requested, &application, [&endRequested] {
        endRequested = true;
        QApplication::exit(0);
    });

    // Module start: the data locations (and the data folder).
    const TDataLocations* locations = nullptr;
    try {
        locations = &DataLocationsCompute();
    } catch (const std::exception& error) {
        PlainMessageShow(error.what());
        return 1;
    }

    // Single instance. Nothing below touches the settings or the databases before the lock is
    // held: a second copy must leave the first one's files as they are.
    bool held = false;
    try {
        held = InstanceLockAcquire(locations->LockFileName);
    } catch (const std::exception& error) {
        PlainMessageShow(error.what());
        FlagFileDelete(locations);
        return 1;
    }
    if (!held) {
        TfrmBase::ShowMessage(QStringLiteral("Application is already running"), QStringLiteral("Please Note"));
        FlagFileDelete(locations);
        return 0;
    }

    // The desktop services live for the whole run; the program clock runs on their counter.
    const std::unique_ptr<TPlatformServices> platformServices
        = PlatformServicesPick(QGuiApplication::platformName().toStdString());
    if (platformServices->ClockSource) {
        ProgramClockAttach(*platformServices->ClockSource);
    }
    ForegroundNoticesShow(*platformServices);
    TMainWindowDesktop desktop;
    if (platformServices->WindowSystem) {
        desktop.WindowSystem = platformServices->WindowSystem.get();
        desktop.Processes = platformServices->Processes.get();
        desktop.Accessibility = platformServices->Accessibility.get();
        desktop.HotkeySource = platformServices->HotkeySource.get();
    }
    // Locking, sleep and shutdown go through the session's services, whatever the window system.
    desktop.SessionPower = platformServices->SessionPower.get();

    // The configuration windows find installed programs in the desktop's menus and folders, and
    // running ones even where no desktop can be watched.
    ConfigurationWindowsInstall(
        TAppSiteSources { platformServices->InstalledApplications.get(), platformServices->Processes.get() });

    // The protected region: an error here is reported, then the program ends as usual.
    int status = 0;
    std::unique_ptr<TfrmMain> mainWindow;
    try {
        // Before anything opens a database: opening a missing one would create it empty and
        // the installation's copy would never arrive.
        DatabaseFilesInstall(*locations);
        TOptions& options = OptionsInstance();
        bool firstRun = false;
        // Settings that another program held locked all through the load are not a first run.
        if (!options.IsNotFirstRun && options.SettingsRead()) {
            // Set first, so the wizard shows once even when it ends the program.
            options.IsNotFirstRun = true;
            SettingsWizardExecute(true);
            firstRun = true;
        }
        mainWindow = std::make_unique<TfrmMain>(desktop);
        // The window starts in the tray: a new user who just closed the wizard, with Apply or
        // Cancel, is told where it went and where the settings are, since the wizard does not
        // come back by itself.
        if (firstRun) {
            mainWindow->Tray->WhereaboutsTell();
        }
        if (platformServices->WindowPlacement) {
            new TWindowPlacementFollow(mainWindow.get(), *platformServices->WindowPlacement,
                [window = mainWindow.get()] { return window->Dock->Place().topLeft(); });
        }
        QApplication::processEvents(); // a request to end that came meanwhile
        status = endRequested ? 0 : QApplication::exec();
        mainWindow.reset();
    } catch (const std::exception& error) {
        ApplicationErrorMessage().OnException(nullptr, error);
        status = 1;
    }
    mainWindow.reset();

    // Program end, in the reverse order of the start, explicitly: the settings are saved while
    // everything they need still exists.
    if (OptionsInstanceExists()) {
        OptionsInstanceFree();
    }
    // Folds the write-ahead log into the activity database, so the file stands alone again.
    ActivityDatabaseClose();
    // Only now, with everything saved: a copy started meanwhile must not run beside this one.
    InstanceLockRelease();
    FlagFileDelete(locations);
    WindowPreferencesFree();
    return status;
}
