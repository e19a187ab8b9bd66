#include "platform/windows/MsaaBrowserAddresses.h"

#include "platform/windows/WideText.h"

#include <windows.h>

#include <oleacc.h>

#include <deque>

namespace {

struct TFound
{
    std::string Address;
    bool Focused = false;
};

std::string BstrText(BSTR text)
{
    std::string result = text ? Utf8FromWide(std::wstring_view(text, ::SysStringLen(text))) : std::string();
    ::SysFreeString(text);
    return result;
}

// Whether the object is an editable text: the first one is the address bar, and the walk ends
// there. `found` gets its text when that is an address.
bool AddressRead(IAccessible* object, const VARIANT& child, TFound& found)
{
    VARIANT role;
    ::VariantInit(&role);
    if (FAILED(object->get_accRole(child, &role)) || role.vt != VT_I4 || role.lVal != ROLE_SYSTEM_TEXT) {
        ::VariantClear(&role);
        return false;
    }
    BSTR value = nullptr;
    if (FAILED(object->get_accValue(child, &value))) {
        return true;
    }
    const std::string text = BstrText(value);
    if (!UrlPrefixHas(text)) {
        return true;
    }
    VARIANT state;
    ::VariantInit(&state);
    found.Address = text;
    found.Focused = SUCCEEDED(object->get_accState(child, &state)) && state.vt == VT_I4
        && (state.lVal & STATE_SYSTEM_FOCUSED) != 0;
    ::VariantClear(&state);
    return true;
}

} // namespace

TMsaaBrowserAddresses::TMsaaBrowserAddresses(std::chrono::milliseconds timeLimit, int objectLimit)
    : m_timeLimit(timeLimit)
    , m_objectLimit(objectLimit)
    , m_comInitialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
{
}

TMsaaBrowserAddresses::~TMsaaBrowserAddresses()
{
    if (m_comInitialized) {
        ::CoUninitialize();
    }
}

std::string TMsaaBrowserAddresses::BrowserAddressGet(TWindowHandle window, int64_t, TBrowserFamily)
{
    const HWND handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    if (window == 0 || !::IsWindow(handle)) {
        m_shown.erase(window);
        return {};
    }
    // Windows that are gone no longer need their page kept.
    for (auto it = m_shown.begin(); it != m_shown.end();) {
        it = ::IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(it->first))) ? std::next(it) : m_shown.erase(it);
    }
    IAccessible* root = nullptr;
    if (FAILED(
            ::AccessibleObjectFromWindow(handle, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&root)))
        || !root) {
        return {};
    }
    // Breadth first: the address bar sits near the top of the tree, the page's own texts deep.
    const auto deadline = std::chrono::steady_clock::now() + m_timeLimit;
    std::deque<IAccessible*> queue { root };
    TFound found;
    bool ended = false;
    int visited = 0;
    while (!queue.empty() && !ended && visited < m_objectLimit && std::chrono::steady_clock::now() < deadline) {
        IAccessible* object = queue.front();
        queue.pop_front();
        ++visited;
        long count = 0;
        if (FAILED(object->get_accChildCount(&count)) || count <= 0) {
            object->Release();
            continue;
        }
        std::vector<VARIANT> children(static_cast<std::size_t>(std::min(count, 500L)));
        long obtained = 0;
        if (SUCCEEDED(
                ::AccessibleChildren(object, 0, static_cast<long>(children.size()), children.data(), &obtained))) {
            for (long i = 0; i < obtained; ++i) {
                VARIANT& child = children[static_cast<std::size_t>(i)];
                if (child.vt == VT_DISPATCH && child.pdispVal) {
                    IAccessible* sub = nullptr;
                    if (!ended
                        && SUCCEEDED(
                            child.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&sub)))) {
                        VARIANT self;
                        self.vt = VT_I4;
                        self.lVal = CHILDID_SELF;
                        if (AddressRead(sub, self, found)) {
                            ended = true;
                            sub->Release();
                        } else {
                            queue.push_back(sub);
                        }
                    }
                } else if (child.vt == VT_I4 && !ended) {
                    ended = AddressRead(object, child, found); // a simple element of its parent
                }
                ::VariantClear(&child);
            }
        }
        object->Release();
    }
    for (IAccessible* rest : queue) {
        rest->Release();
    }
    if (found.Address.empty()) {
        return {};
    }
    if (found.Focused) {
        const auto shown = m_shown.find(window);
        return shown != m_shown.end() ? shown->second : std::string();
    }
    m_shown[window] = found.Address;
    return found.Address;
}
