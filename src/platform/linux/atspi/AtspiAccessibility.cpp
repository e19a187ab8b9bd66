#include "platform/linux/atspi/AtspiAccessibility.h"

#include "platform/linux/CHandles.h"
#include "platform/linux/proc/PackagedPrograms.h"

#include "model/ProgramLog.h"

#include <atspi/atspi.h>

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>
#include <vector>

namespace {

template <typename T> using TRef = TGObjectRef<T>;

struct TGFree
{
    void operator()(void* memory) const
    {
        g_free(memory);
    }
};
using TGText = std::unique_ptr<gchar, TGFree>;

// Every libatspi call reports its failure here; a failure is an answer ("not available").
class TGErrorSink
{
public:
    ~TGErrorSink()
    {
        Clear();
    }
    GError** operator&()
    {
        Clear();
        return &m_error;
    }
    bool Failed() const
    {
        return m_error != nullptr;
    }
    void Clear()
    {
        if (m_error)
            g_error_free(m_error);
        m_error = nullptr;
    }

private:
    GError* m_error = nullptr;
};

using TClock = std::chrono::steady_clock;

// Walk limits below the frame for browsers that offer no Collection query: Firefox's page lies
// four levels down; Chromium's pages lie deeper.
constexpr int FirefoxWalkDepth = 4;
constexpr int ChromiumWalkDepth = 12;
// Enough for a page with frames, or a page with its own entries after the browser's own.
constexpr int MatchesWanted = 16;
// Windows remembered at most; the one unused longest is forgotten first.
constexpr size_t WindowsKept = 32;

const char* const FirefoxAddressFieldId = "urlbar-input";
const char* const ChromiumAddressFieldClass = "OmniboxViewViews";

// The time one sample may spend before it starts no further call into the browser.
class TSampleBudget
{
public:
    TSampleBudget() = default;
    explicit TSampleBudget(TClock::time_point start)
        : m_start(start)
    {
    }
    bool Spent() const
    {
        return TClock::now() - m_start >= std::chrono::milliseconds(TAtspiAccessibility::CallTimeoutMs / 2);
    }

private:
    TClock::time_point m_start = TClock::now();
};

std::string TextOf(const gchar* text)
{
    return text ? std::string(text) : std::string();
}

// The object's text; false when it has none or the call failed.
bool AccessibleTextRead(AtspiAccessible* object, std::string& value)
{
    TRef<AtspiText> text(atspi_accessible_get_text_iface(object));
    if (!text)
        return false;
    TGErrorSink error;
    TGText read(atspi_text_get_text(text.get(), 0, -1, &error));
    if (error.Failed())
        return false;
    value = TextOf(read.get());
    return true;
}

std::string AccessibleAttribute(AtspiAccessible* object, const char* name)
{
    TGErrorSink error;
    GHashTable* attributes = atspi_accessible_get_attributes(object, &error);
    if (error.Failed() || !attributes)
        return {};
    std::string value = TextOf(static_cast<const gchar*>(g_hash_table_lookup(attributes, name)));
    g_hash_table_unref(attributes);
    return value;
}

// The address of a web document as the document states it: Firefox names it "DocURL", the
// Chromium family "URI".
std::string DocumentUrl(AtspiAccessible* object, TBrowserFamily family)
{
    TRef<AtspiDocument> document(atspi_accessible_get_document_iface(object));
    if (!document)
        return {};
    const bool firefox = family == TBrowserFamily::Firefox;
    for (const char* name : { firefox ? "DocURL" : "URI", firefox ? "URI" : "DocURL" }) {
        TGErrorSink error;
        TGText value(atspi_document_get_document_attribute_value(document.get(), const_cast<gchar*>(name), &error));
        if (error.Failed())
            return {};
        if (value && *value)
            return TextOf(value.get());
    }
    return {};
}

// Still part of what the window shows: it answers, is not defunct and is showing.
bool Showing(AtspiAccessible* object)
{
    TRef<AtspiStateSet> states(atspi_accessible_get_state_set(object));
    return states && atspi_state_set_contains(states.get(), ATSPI_STATE_SHOWING)
        && !atspi_state_set_contains(states.get(), ATSPI_STATE_DEFUNCT);
}

AtspiRole RoleOf(AtspiAccessible* object)
{
    TGErrorSink error;
    const AtspiRole role = atspi_accessible_get_role(object, &error);
    return error.Failed() ? ATSPI_ROLE_INVALID : role;
}

// Objects below `frame` matching the roles, states and attributes, in the order of the tree.
// False when the browser offers no Collection query (the caller then walks).
bool CollectionMatches(AtspiAccessible* frame, const std::vector<AtspiRole>& roles,
    const std::vector<AtspiStateType>& states, const char* attributeName, const char* attributeValue,
    std::vector<TRef<AtspiAccessible>>& matches)
{
    TRef<AtspiCollection> collection(atspi_accessible_get_collection_iface(frame));
    if (!collection)
        return false;

    std::unique_ptr<GArray, void (*)(GArray*)> stateArray(
        g_array_new(FALSE, FALSE, sizeof(AtspiStateType)), [](GArray* a) { g_array_free(a, TRUE); });
    for (AtspiStateType state : states)
        g_array_append_val(stateArray.get(), state);
    TRef<AtspiStateSet> stateSet(atspi_state_set_new(stateArray.get()));

    std::unique_ptr<GHashTable, void (*)(GHashTable*)> attributes(
        g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free), g_hash_table_unref);
    if (attributeName)
        g_hash_table_insert(attributes.get(), g_strdup(attributeName), g_strdup(attributeValue));

    std::unique_ptr<GArray, void (*)(GArray*)> roleArray(
        g_array_new(FALSE, FALSE, sizeof(gint)), [](GArray* a) { g_array_free(a, TRUE); });
    for (AtspiRole role : roles) {
        gint value = role;
        g_array_append_val(roleArray.get(), value);
    }

    TRef<AtspiMatchRule> rule(atspi_match_rule_new(stateSet.get(), ATSPI_Collection_MATCH_ALL,
        attributeName ? attributes.get() : nullptr, ATSPI_Collection_MATCH_ALL, roleArray.get(),
        ATSPI_Collection_MATCH_ANY, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    if (!rule)
        return false;
    TGErrorSink error;
    GArray* found = atspi_collection_get_matches(
        collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL, MatchesWanted, TRUE, &error);
    if (error.Failed() || !found)
        return false;
    for (guint i = 0; i < found->len; ++i)
        matches.emplace_back(g_array_index(found, AtspiAccessible*, i));
    g_array_free(found, TRUE);
    return true;
}

// Pre-order walk down to `maximumDepth` below `object` (depth 0); `visit` answers true to stop.
// False also when the budget ran out.
bool AccessibleWalk(AtspiAccessible* object, int depth, int maximumDepth, const TSampleBudget& budget,
    const std::function<bool(AtspiAccessible*)>& visit)
{
    if (depth > maximumDepth || budget.Spent())
        return false;
    if (visit(object))
        return true;
    if (depth == maximumDepth)
        return false;
    TGErrorSink error;
    const gint count = atspi_accessible_get_child_count(object, &error);
    if (error.Failed())
        return false;
    for (gint i = 0; i < count; ++i) {
        TRef<AtspiAccessible> child(atspi_accessible_get_child_at_index(object, i, &error));
        if (error.Failed() || !child)
            continue;
        if (AccessibleWalk(child.get(), depth + 1, maximumDepth, budget, visit))
            return true;
    }
    return false;
}

TRef<AtspiAccessible> ApplicationFind(int64_t processId)
{
    TRef<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop)
        return nullptr;
    TGErrorSink error;
    const gint count = atspi_accessible_get_child_count(desktop.get(), &error);
    if (error.Failed())
        return nullptr;
    std::vector<std::pair<TRef<AtspiAccessible>, int64_t>> others;
    for (gint i = 0; i < count; ++i) {
        TRef<AtspiAccessible> application(atspi_accessible_get_child_at_index(desktop.get(), i, &error));
        if (error.Failed() || !application)
            continue;
        const guint applicationProcess = atspi_accessible_get_process_id(application.get(), &error);
        if (error.Failed())
            continue;
        if (static_cast<int64_t>(applicationProcess) == processId)
            return application;
        others.emplace_back(std::move(application), static_cast<int64_t>(applicationProcess));
    }
    // A Flatpak app reaches the bus through its sandbox's proxy, whose process the bus names.
    const std::string instance = FlatpakInstanceGet("/proc/" + std::to_string(processId));
    if (instance.empty())
        return nullptr;
    for (auto& [application, applicationProcess] : others) {
        if (FlatpakInstanceGet("/proc/" + std::to_string(applicationProcess)) == instance)
            return std::move(application);
    }
    return nullptr;
}

// The application's frame that shows `title`; else its active frame; else its first named one.
TRef<AtspiAccessible> FrameFind(AtspiAccessible* application, const std::string& title)
{
    TGErrorSink error;
    const gint count = atspi_accessible_get_child_count(application, &error);
    if (error.Failed())
        return nullptr;
    TRef<AtspiAccessible> active;
    TRef<AtspiAccessible> named;
    for (gint i = 0; i < count; ++i) {
        TRef<AtspiAccessible> frame(atspi_accessible_get_child_at_index(application, i, &error));
        if (error.Failed() || !frame)
            continue;
        const AtspiRole role = RoleOf(frame.get());
        if (role != ATSPI_ROLE_FRAME && role != ATSPI_ROLE_WINDOW && role != ATSPI_ROLE_DIALOG)
            continue;
        TGText name(atspi_accessible_get_name(frame.get(), &error));
        const std::string frameName = error.Failed() ? std::string() : TextOf(name.get());
        if (!title.empty() && frameName == title)
            return frame;
        if (!active) {
            TRef<AtspiStateSet> states(atspi_accessible_get_state_set(frame.get()));
            if (states && atspi_state_set_contains(states.get(), ATSPI_STATE_ACTIVE)) {
                active = std::move(frame);
                continue;
            }
        }
        if (!named && !frameName.empty())
            named = std::move(frame);
    }
    return active ? std::move(active) : std::move(named);
}

enum class TSearch
{
    Found,
    None,
    // The frame did not answer (gone, or the browser is not responding).
    Failed,
};

// The first showing web document below the frame, in the order of the tree (the page before
// the frames inside it).
TSearch ShowingDocumentFind(AtspiAccessible* frame, const TSampleBudget& budget, TRef<AtspiAccessible>& found)
{
    std::vector<TRef<AtspiAccessible>> documents;
    if (CollectionMatches(frame, { ATSPI_ROLE_DOCUMENT_WEB }, { ATSPI_STATE_SHOWING }, nullptr, nullptr, documents)) {
        if (documents.empty())
            return TSearch::None;
        found = std::move(documents.front());
        return TSearch::Found;
    }
    if (budget.Spent())
        return TSearch::Failed;
    TGErrorSink error;
    atspi_accessible_get_child_count(frame, &error);
    if (error.Failed())
        return TSearch::Failed;
    AccessibleWalk(frame, 0, ChromiumWalkDepth, budget, [&found](AtspiAccessible* object) {
        if (RoleOf(object) != ATSPI_ROLE_DOCUMENT_WEB || !Showing(object))
            return false;
        found.reset(static_cast<AtspiAccessible*>(g_object_ref(object)));
        return true;
    });
    return found ? TSearch::Found : TSearch::None;
}

// The browser's own address field: Firefox's entry with id "urlbar-input", the Chromium
// family's entry of class "OmniboxViewViews". Asked by role, told apart by attribute here:
// Chromium's Collection does not match on attributes.
TRef<AtspiAccessible> AddressFieldFind(AtspiAccessible* frame, TBrowserFamily family, const TSampleBudget& budget)
{
    const bool firefox = family == TBrowserFamily::Firefox;
    const char* attributeName = firefox ? "id" : "class";
    const char* attributeValue = firefox ? FirefoxAddressFieldId : ChromiumAddressFieldClass;
    const auto isField = [&](AtspiAccessible* object) {
        const AtspiRole role = RoleOf(object);
        return (role == ATSPI_ROLE_ENTRY || (firefox && role == ATSPI_ROLE_COMBO_BOX))
            && AccessibleAttribute(object, attributeName) == attributeValue;
    };
    std::vector<TRef<AtspiAccessible>> candidates;
    if (CollectionMatches(frame, { ATSPI_ROLE_COMBO_BOX, ATSPI_ROLE_ENTRY }, {}, nullptr, nullptr, candidates)) {
        for (auto& candidate : candidates) {
            if (budget.Spent())
                return nullptr;
            if (isField(candidate.get()))
                return std::move(candidate);
        }
        return nullptr;
    }
    TRef<AtspiAccessible> field;
    AccessibleWalk(frame, 0, firefox ? FirefoxWalkDepth : ChromiumWalkDepth, budget, [&](AtspiAccessible* object) {
        if (!isField(object))
            return false;
        field.reset(static_cast<AtspiAccessible*>(g_object_ref(object)));
        return true;
    });
    return field;
}

// Seconds of CLOCK_BOOTTIME at which the process started; 0 when unknown.
double ProcessStartSeconds(int64_t processId)
{
    std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // After the name: state is the 3rd field of the line, the start time the 22nd.
    for (int i = 3; i <= 22; ++i) {
        if (!(fields >> field))
            return 0;
    }
    const long ticks = sysconf(_SC_CLK_TCK);
    try {
        return ticks > 0 ? static_cast<double>(std::stoull(field)) / static_cast<double>(ticks) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

struct TAtspiAccessibility::TWindowState
{
    int64_t ProcessId = 0;
    TRef<AtspiAccessible> Frame;
    // The showing document the last search found, and the window's title at that moment.
    TRef<AtspiAccessible> Document;
    std::string DocumentTitle;
    TRef<AtspiAccessible> Field;
    // A document has been found once: the browser's tree is awake.
    bool DocumentSeen = false;
    // Since when the window's program has been missing from the tree (zero: it was found).
    TClock::time_point MissingSince {};
    TClock::time_point LastUsed {};
};

TAtspiAccessibility::TAtspiAccessibility(TWindowSystem& windowSystem, double switchedOnAt)
    : m_windowSystem(windowSystem)
    , m_switchedOnAt(switchedOnAt)
{
}

TAtspiAccessibility::~TAtspiAccessibility() = default;

bool TAtspiAccessibility::UrlPrefixHas(const std::string& text)
{
    return ::UrlPrefixHas(text);
}

double TAtspiAccessibility::BootSecondsNow()
{
    timespec now {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

namespace {

// The accessibility library's own main context. Left on the default one, the window's event loop
// (Qt runs GLib's) would dispatch the library's bus messages on the window's thread while the
// scan's worker thread calls into the library: the library is not made for two threads. On a
// context of its own, the thread that reads addresses dispatches what has arrived, before each
// read, and nothing piles up.
GMainContext* g_atspiContext = nullptr;

void AtspiPendingDispatch()
{
    if (g_atspiContext) {
        while (g_main_context_iteration(g_atspiContext, FALSE)) { }
    }
}

} // namespace

bool TAtspiAccessibility::BusConnect()
{
    static std::mutex mutex;
    static int connected = -1;
    std::lock_guard lock(mutex);
    if (connected < 0) {
        // 1 is "done before": by a library of the process's own, which may have failed as well.
        const int result = atspi_init();
        connected = result == 0 || (result == 1 && atspi_get_a11y_bus()) ? 1 : 0;
        if (connected) {
            atspi_set_timeout(CallTimeoutMs, CallTimeoutMs);
            if (result == 0) {
                g_atspiContext = g_main_context_new();
                atspi_set_main_context(g_atspiContext);
            }
        }
    }
    return connected == 1;
}

bool TAtspiAccessibility::Start() const
{
    if (m_started < 0) {
        // Connecting needs the session bus that carries the accessibility bus's address; it is
        // made once, on the first browser seen, by when the desktop has started it.
        m_started = BusConnect() ? 1 : 0;
        if (!m_started) {
            LogMessageWrite("The accessibility bus cannot be reached; browser addresses are not read");
        }
    }
    return m_started == 1;
}

bool TAtspiAccessibility::CanReadBrowserAddress() const
{
    return Start();
}

std::string TAtspiAccessibility::UserNoticeTake()
{
    std::lock_guard lock(m_noticeMutex);
    return std::exchange(m_notice, std::string());
}

bool TAtspiAccessibility::LastReadAnswered() const
{
    return m_lastAnswered;
}

TAtspiAccessibility::TWindowState& TAtspiAccessibility::WindowStateGet(TWindowHandle window, int64_t processId)
{
    auto& slot = m_windows[window];
    if (!slot || slot->ProcessId != processId) {
        slot = std::make_unique<TWindowState>();
        slot->ProcessId = processId;
    }
    slot->LastUsed = TClock::now();
    if (m_windows.size() > WindowsKept) {
        auto oldest = m_windows.begin();
        for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
            if (it->second->LastUsed < oldest->second->LastUsed)
                oldest = it;
        }
        m_windows.erase(oldest);
    }
    return *m_windows[window];
}

void TAtspiAccessibility::UnreadableTell(TWindowHandle window, int64_t processId)
{
    m_unreadableProcesses.insert(processId);
    m_windows.erase(window);
    std::string program = m_windowSystem.WindowClassNameGet(window);
    if (program.empty())
        program = "Chromium";
    if (!m_toldPrograms.insert(program).second)
        return;
    const std::string text = "Tallyhour cannot see which sites " + program + " shows: it was started before the "
        + "desktop's accessibility support was switched on. Close every " + program
        + " window and start it again to have its sites counted.";
    LogMessageWrite(text);
    std::lock_guard lock(m_noticeMutex);
    m_notice += m_notice.empty() ? text : "\n" + text;
}

std::string TAtspiAccessibility::BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family)
{
    const TClock::time_point started = TClock::now();
    std::string address = AddressRead(window, processId, family);
    // An empty read that ran into the sample's bound says nothing of the page: the browser did
    // not answer (busy or hung).
    m_lastAnswered = !address.empty() || !TSampleBudget(started).Spent();
    return address;
}

std::string TAtspiAccessibility::AddressRead(TWindowHandle window, int64_t processId, TBrowserFamily family)
{
    AtspiPendingDispatch();
    if (processId <= 0
        || (family != TBrowserFamily::Firefox && family != TBrowserFamily::Chromium && family != TBrowserFamily::Opera))
        return {};
    try {
        if (!Start() || m_unreadableProcesses.contains(processId))
            return {};
        const TSampleBudget budget;
        const bool chromium = family != TBrowserFamily::Firefox;
        TWindowState& state = WindowStateGet(window, processId);
        const std::string title = m_windowSystem.WindowTextGet(window);

        if (!state.Frame) {
            TRef<AtspiAccessible> application = ApplicationFind(processId);
            if (!application) {
                const TClock::time_point now = TClock::now();
                if (state.MissingSince == TClock::time_point {})
                    state.MissingSince = now;
                const double started = ProcessStartSeconds(processId);
                const bool startedBeforeSwitch = m_switchedOnAt > 0 && started > 0 && started < m_switchedOnAt;
                if (chromium
                    && (startedBeforeSwitch
                        || now - state.MissingSince >= std::chrono::seconds(MissingChromiumSeconds)))
                    UnreadableTell(window, processId);
                return {};
            }
            state.MissingSince = {};
            if (budget.Spent())
                return {};
            state.Frame = FrameFind(application.get(), title);
            if (!state.Frame)
                return {};
        }
        AtspiAccessible* frame = state.Frame.get();

        // Asking Chromium's frame for anything beyond its name has it build the tree of its
        // pages (within about a second); until a page is seen every sample asks again.
        if (chromium && !state.DocumentSeen && !budget.Spent())
            AccessibleAttribute(frame, "class");

        if (state.Document && state.DocumentTitle == title && !budget.Spent() && Showing(state.Document.get())) {
            std::string url = DocumentUrl(state.Document.get(), family);
            return UrlPrefixHas(url) ? url : std::string();
        }
        state.Document.reset();
        if (budget.Spent())
            return {};
        TRef<AtspiAccessible> document;
        switch (ShowingDocumentFind(frame, budget, document)) {
        case TSearch::Found: {
            std::string url = DocumentUrl(document.get(), family);
            state.Document = std::move(document);
            state.DocumentTitle = title;
            state.DocumentSeen = true;
            // The page shown decides, even when its address is none (a browser's own page).
            return UrlPrefixHas(url) ? url : std::string();
        }
        case TSearch::Failed:
            // Found again on a later sample, from the list of programs.
            state.Frame.reset();
            state.Field.reset();
            return {};
        case TSearch::None:
            break;
        }

        // No page exposed: the address field, when it holds an address.
        std::string text;
        if (state.Field && !budget.Spent() && AccessibleTextRead(state.Field.get(), text))
            return UrlPrefixHas(text) ? text : std::string();
        state.Field.reset();
        if (budget.Spent())
            return {};
        state.Field = AddressFieldFind(frame, family, budget);
        if (state.Field && !budget.Spent() && AccessibleTextRead(state.Field.get(), text) && UrlPrefixHas(text))
            return text;
        return {};
    } catch (const std::exception& error) {
        // Out of memory while copying a text, say: the address is not known this time.
        LogError(error, "; OnWindowAccessibleInfoEnum:");
        return {};
    }
}
