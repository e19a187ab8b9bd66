#include "platform/linux/AtspiAccessibility.h"

#include "model/ProgramLog.h"

#include <atspi/atspi.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct TGObjectUnref
{
    void operator()(void* object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T> using TRef = std::unique_ptr<T, TGObjectUnref>;

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

// Walk limits below the frame where no Collection query can be made: the address field of
// Firefox lies four levels down; Chromium's pages lie deeper.
constexpr int FirefoxWalkDepth = 4;
constexpr int ChromiumWalkDepth = 8;
// Enough for a page with frames; the first accepted address wins anyway.
constexpr int MatchesWanted = 8;

const char* const FirefoxAddressFieldId = "urlbar-input";
const char* const ChromiumAddressFieldClass = "OmniboxViewViews";

std::string TextOf(const gchar* text)
{
    return text ? std::string(text) : std::string();
}

std::string AccessibleText(AtspiAccessible* object)
{
    TRef<AtspiText> text(atspi_accessible_get_text_iface(object));
    if (!text)
        return {};
    TGErrorSink error;
    TGText value(atspi_text_get_text(text.get(), 0, -1, &error));
    return error.Failed() ? std::string() : TextOf(value.get());
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

// The address of a web document as the document states it.
std::string DocumentUrl(AtspiAccessible* object)
{
    TRef<AtspiDocument> document(atspi_accessible_get_document_iface(object));
    if (!document)
        return {};
    for (const char* name : { "DocURL", "URI" }) {
        TGErrorSink error;
        TGText value(atspi_document_get_document_attribute_value(document.get(), const_cast<gchar*>(name), &error));
        if (!error.Failed() && value && *value)
            return TextOf(value.get());
    }
    return {};
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
bool AccessibleWalk(
    AtspiAccessible* object, int depth, int maximumDepth, const std::function<bool(AtspiAccessible*)>& visit)
{
    if (depth > maximumDepth)
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
        if (AccessibleWalk(child.get(), depth + 1, maximumDepth, visit))
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
    for (gint i = 0; i < count; ++i) {
        TRef<AtspiAccessible> application(atspi_accessible_get_child_at_index(desktop.get(), i, &error));
        if (error.Failed() || !application)
            continue;
        const guint applicationProcess = atspi_accessible_get_process_id(application.get(), &error);
        if (!error.Failed() && static_cast<int64_t>(applicationProcess) == processId)
            return application;
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

std::string FirefoxAddressGet(AtspiAccessible* frame)
{
    std::vector<TRef<AtspiAccessible>> fields;
    if (CollectionMatches(frame, { ATSPI_ROLE_COMBO_BOX, ATSPI_ROLE_ENTRY }, {}, "id", FirefoxAddressFieldId, fields)) {
        for (const auto& field : fields) {
            std::string text = AccessibleText(field.get());
            if (TAtspiAccessibility::UrlPrefixHas(text))
                return text;
        }
        return {};
    }
    std::string address;
    AccessibleWalk(frame, 0, FirefoxWalkDepth, [&address](AtspiAccessible* object) {
        const AtspiRole role = RoleOf(object);
        if (role != ATSPI_ROLE_COMBO_BOX && role != ATSPI_ROLE_ENTRY)
            return false;
        if (AccessibleAttribute(object, "id") != FirefoxAddressFieldId)
            return false;
        std::string text = AccessibleText(object);
        if (!TAtspiAccessibility::UrlPrefixHas(text))
            return false;
        address = std::move(text);
        return true;
    });
    return address;
}

// The showing page's own address. `documentSeen` tells whether the browser exposes its pages
// at all.
std::string ChromiumDocumentAddressGet(AtspiAccessible* frame, bool& documentSeen)
{
    documentSeen = false;
    std::vector<TRef<AtspiAccessible>> documents;
    if (CollectionMatches(frame, { ATSPI_ROLE_DOCUMENT_WEB }, { ATSPI_STATE_SHOWING }, nullptr, nullptr, documents)) {
        for (const auto& document : documents) {
            documentSeen = true;
            std::string url = DocumentUrl(document.get());
            if (TAtspiAccessibility::UrlPrefixHas(url))
                return url;
        }
        return {};
    }
    std::string address;
    AccessibleWalk(frame, 0, ChromiumWalkDepth, [&](AtspiAccessible* object) {
        if (RoleOf(object) != ATSPI_ROLE_DOCUMENT_WEB)
            return false;
        documentSeen = true;
        std::string url = DocumentUrl(object);
        if (!TAtspiAccessibility::UrlPrefixHas(url))
            return false;
        address = std::move(url);
        return true;
    });
    return address;
}

// The address entry's text as it stands (without its scheme); read only when no page is exposed.
std::string ChromiumAddressFieldGet(AtspiAccessible* frame)
{
    std::vector<TRef<AtspiAccessible>> fields;
    if (CollectionMatches(frame, { ATSPI_ROLE_ENTRY }, {}, "class", ChromiumAddressFieldClass, fields)) {
        for (const auto& field : fields) {
            std::string text = AccessibleText(field.get());
            if (!text.empty())
                return text;
        }
        return {};
    }
    std::string address;
    AccessibleWalk(frame, 0, ChromiumWalkDepth, [&address](AtspiAccessible* object) {
        if (RoleOf(object) != ATSPI_ROLE_ENTRY || AccessibleAttribute(object, "class") != ChromiumAddressFieldClass)
            return false;
        address = AccessibleText(object);
        return !address.empty();
    });
    return address;
}

} // namespace

TAtspiAccessibility::TAtspiAccessibility(TWindowSystem& windowSystem)
    : m_windowSystem(windowSystem)
{
}

bool TAtspiAccessibility::UrlPrefixHas(const std::string& text)
{
    static const std::array<std::string_view, 4> prefixes { "http://", "https://", "ftp://", "ftps://" };
    for (std::string_view prefix : prefixes) {
        if (text.compare(0, prefix.size(), prefix) == 0)
            return true;
    }
    return false;
}

bool TAtspiAccessibility::Start() const
{
    if (m_started < 0) {
        // Connecting needs the session bus that carries the accessibility bus's address; it is
        // made once, on the first browser seen, by when the desktop has started it.
        const int result = atspi_init();
        m_started = result == 0 || result == 1 ? 1 : 0;
        if (m_started) {
            atspi_set_timeout(CallTimeoutMs, CallTimeoutMs);
        } else {
            LogMessageWrite("The accessibility bus cannot be reached; browser addresses are not read");
        }
    }
    return m_started == 1;
}

bool TAtspiAccessibility::CanReadBrowserAddress() const
{
    return Start();
}

std::string TAtspiAccessibility::BrowserAddressGet(TWindowHandle window, int64_t processId, TBrowserFamily family)
{
    if (processId <= 0
        || (family != TBrowserFamily::Firefox && family != TBrowserFamily::Chromium && family != TBrowserFamily::Opera))
        return {};
    try {
        if (!Start())
            return {};
        const bool chromium = family != TBrowserFamily::Firefox;
        TRef<AtspiAccessible> application = ApplicationFind(processId);
        TRef<AtspiAccessible> frame
            = application ? FrameFind(application.get(), m_windowSystem.WindowTextGet(window)) : nullptr;
        if (!frame) {
            if (chromium && !m_chromiumHintLogged) {
                m_chromiumHintLogged = true;
                LogMessageWrite("A Chromium browser window shows no accessibility tree; the accessibility bus must be "
                                "switched on before the browser starts for its addresses to be read");
            }
            return {};
        }
        if (!chromium)
            return FirefoxAddressGet(frame.get());
        bool documentSeen = false;
        std::string address = ChromiumDocumentAddressGet(frame.get(), documentSeen);
        if (!address.empty() || documentSeen)
            return address;
        if (!m_chromiumHintLogged) {
            m_chromiumHintLogged = true;
            LogMessageWrite("A Chromium browser window shows no accessibility tree for its pages; start it with "
                            "--force-renderer-accessibility for the sites it shows to be counted");
        }
        return ChromiumAddressFieldGet(frame.get());
    } catch (const std::exception& error) {
        // Out of memory while copying a text, say: the address is not known this time.
        LogError(error, "; OnWindowAccessibleInfoEnum:");
        return {};
    }
}
