#include "monitor/ProcessIdentification.h"

#include "MonitorTestSupport.h"
#include "support/desktop/FakeDesktop.h"

#include <gtest/gtest.h>

TEST(WindowExeName, GivesThePathOrTheSystemsMessage)
{
    TFakeDesktop desktop;
    const TWindowHandle editor = desktop.WindowShow({ .ProcessId = 10, .ExeName = "/usr/bin/editor" });
    const TWindowHandle foreign = desktop.WindowShow({ .ProcessId = 11, .ExeName = "/usr/sbin/daemon" });
    desktop.Processes().ProcessFailSet(11, "Permission denied");
    const TWindowHandle ended = desktop.WindowShow({ .ProcessId = 12, .ExeName = "/usr/bin/short" });
    desktop.Processes().ProcessRemove(12);

    EXPECT_EQ(WindowExeNameGet(desktop, desktop.Processes(), editor), "/usr/bin/editor");
    EXPECT_EQ(WindowExeNameGet(desktop, desktop.Processes(), foreign), "Error: Permission denied");
    EXPECT_EQ(WindowExeNameGet(desktop, desktop.Processes(), ended), "Error: No such process");
    EXPECT_EQ(WindowExeNameGet(desktop, desktop.Processes(), 0), "Error: No such process");
    EXPECT_EQ(WindowExeNameGet(desktop, desktop.Processes(), 0xdead), "Error: No such process");
}

TEST(RunningPrograms, OneLinePerExecutableWithItsDisplayName)
{
    TLogCapture log;
    TFakeProcesses processes;
    processes.ProcessAdd(1, "/usr/bin/zed");
    processes.ProcessAdd(2, "/usr/bin/Editor.bin");
    processes.ProcessAdd(3, "/usr/bin/zed");
    processes.ProcessAdd(4, "/usr/bin/python3.11");
    processes.ProcessAdd(5, "/usr/sbin/sshd", /*ownedByUser=*/false);
    processes.ProcessAdd(6, "/home/u/.local/bin/.hidden");
    // Packaged programs, named as the packages' rule names them.
    processes.ProcessAdd(7, "/var/lib/flatpak/app/org.mozilla.firefox/current/active/files/lib/firefox/firefox");
    processes.ProcessAdd(8, "/var/lib/flatpak/exports/bin/org.gnome.Calculator");
    processes.ProcessAdd(9, "/home/u/Apps/Tool-x86_64.AppImage");
    std::vector<std::string> lines { "left over" };
    ProcessesExeNamesGet(processes, lines);
    EXPECT_EQ(lines,
        (std::vector<std::string> { "/home/u/.local/bin/.hidden=.hidden",
            "/home/u/Apps/Tool-x86_64.AppImage=Tool-x86_64", "/usr/bin/Editor.bin=Editor",
            "/usr/bin/python3.11=python3", "/usr/bin/zed=zed",
            "/var/lib/flatpak/app/org.mozilla.firefox/current/active/files/lib/firefox/firefox=firefox "
            "(org.mozilla.firefox)",
            "/var/lib/flatpak/exports/bin/org.gnome.Calculator=org.gnome.Calculator" }));
}

TEST(RunningPrograms, PathsThatDifferOnlyInCaseAreTwoPrograms)
{
    TLogCapture log;
    TFakeProcesses processes;
    processes.ProcessAdd(1, "/opt/tool/Run");
    processes.ProcessAdd(2, "/opt/Tool/run");
    processes.ProcessAdd(3, "/opt/tool/run");
    processes.ProcessAdd(4, "/opt/tool/Run");
    std::vector<std::string> lines;
    ProcessesExeNamesGet(processes, lines);
    EXPECT_EQ(lines, (std::vector<std::string> { "/opt/Tool/run=run", "/opt/tool/Run=Run", "/opt/tool/run=run" }));
}

TEST(RunningPrograms, FailureIsLoggedAndGivesNoLines)
{
    TLogCapture log;
    TFakeProcesses processes;
    processes.ProcessAdd(1, "/usr/bin/zed");
    processes.RunningProgramsFailSet("Permission denied");
    std::vector<std::string> lines { "left over" };
    ProcessesExeNamesGet(processes, lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_NE(log.Text().find("ErrorClassName: EOSError; ProcessesExeNamesGet: Permission denied"), std::string::npos);
}
