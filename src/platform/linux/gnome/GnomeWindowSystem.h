#pragma once

#include "model/Exceptions.h"
#include "platform/linux/PushedWindowSystem.h"

#include <condition_variable>
#include <cstdint>
#include <string>
#include <vector>

typedef struct _GVariant GVariant;
typedef struct _GObject GObject;
typedef struct _GAsyncResult GAsyncResult;

// Why GNOME Shell cannot tell the program about its windows, with what the user can do about it
// ("Log out and in again ..."), for the notice.
class EGnomeExtensionError : public EOSError
{
public:
    EGnomeExtensionError(const std::string& reason, std::string advice, unsigned mayPassWithinMs = 0)
        : EOSError(reason)
        , Advice(std::move(advice))
        , MayPassWithinMs(mayPassWithinMs)
    {
    }
    std::string ClassName() const override
    {
        return "EGnomeExtensionError";
    }
    std::string Advice;
    // A Shell still starting (at login the program may start beside it) answers late or has not
    // yet found its extensions: worth asking again for so long.
    unsigned MayPassWithinMs = 0;
};

// The window system of GNOME's Wayland session. GNOME Shell tells no other program which window
// is in front; a small extension of the program's own, installed with it, does: an object on the
// session bus, under the Shell's name, that lists the windows with their process, class and title,
// names the focused one, signals every change (so a sample reads what was pushed and costs no
// round trip), and closes a window on request as its title bar's button does.
//
// GNOME loads only the extensions it found when the session started, and runs only those the
// user's settings enable: an installed extension that is not enabled is enabled here, through
// the Shell's own D-Bus call, as the Extensions app would, and the log says so. Only the Shell's
// own signals are taken. When the Shell leaves the bus, or the user switches the extension off,
// the window in front is unknown; the log says so and the user is told once.
class TGnomeWindowSystem final : public TPushedWindowSystem<uint64_t>
{
public:
    // The Shell's extension calls, which a Shell busy with its start answers late.
    static constexpr int ExtensionCallTimeoutMs = 5000;
    static constexpr const char* ServiceName = "org.gnome.Shell";
    static constexpr const char* ExtensionUuid = "tallyhour@tallyhour.example.org";
    static constexpr const char* ReportPath = "/org/gnome/Shell/Extensions/Tallyhour";
    static constexpr const char* ReportInterface = "org.tallyhour.Shell";

    // Connects to the session bus at `busAddress` (empty: the session's own), enables the
    // extension when it is not, and reads the windows. Raises EGnomeExtensionError, saying why
    // and what the user can do, when the Shell or its extension cannot be had.
    explicit TGnomeWindowSystem(
        const std::string& busAddress = "", unsigned absenceNoticeDelayMs = AbsenceNoticeDelayMs);
    ~TGnomeWindowSystem() override;
    TGnomeWindowSystem(const TGnomeWindowSystem&) = delete;
    TGnomeWindowSystem& operator=(const TGnomeWindowSystem&) = delete;

    bool WindowCloseRequest(TWindowHandle window) override;

    // Mutter's id of a window, for tests and benchmarks that ask the extension themselves; 0 when unknown.
    uint64_t WindowIdGet(TWindowHandle window);
    // Whether the Shell reports through the extension at the moment.
    bool Reporting();

    // The extension's folder under one of the data folders (XDG_DATA_HOME, XDG_DATA_DIRS); empty
    // when it is installed nowhere the Shell looks.
    static std::string ExtensionFolderFind();

private:
    // Makes sure the Shell runs the extension, enabling it when needed; throws what stands in the
    // way. Blocking calls: on the constructor's thread, or on the bus thread when the Shell is back.
    void ExtensionEnsure();
    int ExtensionStateGet();
    // Raises what the Shell says about an extension it could not run (`state` is its error state).
    [[noreturn]] void ExtensionFailureThrow(int state);
    // Asks the extension for everything; the answer is applied on the bus thread in order with the
    // signals, so no change is lost or undone by an older answer.
    void StateRequest();
    static void OnStateReply(GObject* source, GAsyncResult* result, void* self);
    void StateApply(GVariant* state);

    // On the bus thread.
    static void OnSignal(GDBusConnection*, const char* sender, const char* path, const char* interface,
        const char* signal, GVariant* parameters, void* self);
    void SignalTake(const std::string& sender, const std::string& signal, GVariant* parameters);
    void ExtensionStateChanged(GVariant* parameters);
    void OwnerChanged(const std::string& newOwner);
    void ReloadTry() override;

    void Shutdown();

    std::vector<unsigned> m_subscriptions;

    std::condition_variable m_stateRead;
    // Everything below is guarded by m_mutex.
    bool m_reporting = false; // the extension's state has been read and it runs
    bool m_everReported = false;
    unsigned m_stateGeneration = 0; // which request an answer belongs to
    unsigned m_foreignSignals = 0;
    unsigned m_malformedSignals = 0;
};
