#pragma once

#include <string>
#include <sys/types.h>

typedef struct _GDBusConnection GDBusConnection;
class TTestDesktop;

// A private system bus with a stand-in for logind, and a screen saver on the session bus, for
// the tests of locking, sleeping and shutting down. The stand-ins are started as programs of the
// desktop (which ends them) from `scriptFile`; DBUS_SYSTEM_BUS_ADDRESS points at the private bus
// until this object goes. Nothing here can reach the real system's logind.
class TFakeSessionServices
{
public:
    TFakeSessionServices(TTestDesktop& desktop, std::string scriptFile);
    ~TFakeSessionServices();
    TFakeSessionServices(const TFakeSessionServices&) = delete;
    TFakeSessionServices& operator=(const TFakeSessionServices&) = delete;

    // Starts the buses (a session bus only when the desktop has none) and the stand-ins, and
    // waits until they answer. False, with ErrorText(), when something could not be started.
    bool Start();
    const std::string& ErrorText() const
    {
        return m_errorText;
    }

    // logind's session signals and property, and its manager's sleep signal.
    bool Lock();
    bool Unlock();
    bool LockedHintSet(bool locked);
    bool SleepBegin();
    bool SleepEnd();
    // The stand-in screen saver's ActiveChanged. It is a python3 script, as a program of the
    // session that takes the free name on a bare window manager would be.
    bool ScreenSaverActiveSet(bool active);
    // A desktop's own screen saver: the compiled stand-in `program` owning `name` (on its
    // usual path) until it is stopped; false when it did not take the name.
    bool DesktopScreenSaverStart(const std::string& program, const char* name);
    void DesktopScreenSaverStop();
    bool DesktopScreenSaverActiveSet(bool active);
    // An ActiveChanged that any other program of the session could send: from the test's own
    // connection, on `path` of `interfaceName`, with a second argument when `extraArgument`.
    bool ScreenSaverSignalForge(const char* interfaceName, const char* path, bool active, bool extraArgument = false);
    // The test's own connection takes or gives up a well-known name of the session bus, as a
    // screen saver starting or ending does.
    bool SessionNameOwn(const char* name, bool own);
    // From now on PowerOff and Reboot are refused with `message` (empty: accepted).
    bool RefusalSet(const std::string& message);
    // Requests received so far (refused ones included); -1 when the stand-in does not answer.
    int PowerOffCount();
    int RebootCount();

private:
    bool Fail(const std::string& text);
    bool BusStart(const std::string& name, std::string& address);
    bool Control(GDBusConnection* bus, const char* service, const char* path, const char* interfaceName,
        const char* method, const char* argumentsFormat, ...);
    bool NameOwned(GDBusConnection* bus, const char* name);
    bool ShutdownCountsGet(int& powerOffs, int& reboots);

    TTestDesktop& m_desktop;
    std::string m_scriptFile;
    std::string m_errorText;
    std::string m_savedSystemBus;
    bool m_hadSystemBus = false;
    GDBusConnection* m_systemBus = nullptr;
    GDBusConnection* m_sessionBus = nullptr;
    pid_t m_desktopSaver = -1;
    std::string m_desktopSaverName;
    std::string m_desktopSaverPath;
};
