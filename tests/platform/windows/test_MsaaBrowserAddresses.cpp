// Browser addresses read from a fake accessible tree laid out as the browsers lay theirs out: a
// window of the test answers WM_GETOBJECT with it, as a browser's window does.
#include "platform/windows/MsaaBrowserAddresses.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class TFakeAccessible final : public IAccessible
{
public:
    TFakeAccessible(long role, std::wstring value = {})
        : Role(role)
        , Value(std::move(value))
    {
    }
    long Role;
    std::wstring Value;
    long State = STATE_SYSTEM_FOCUSABLE;
    std::vector<TFakeAccessible*> Children; // owned by the test's tree
    int Reads = 0;

    TFakeAccessible* Add(long role, std::wstring value = {})
    {
        Owned.push_back(std::make_unique<TFakeAccessible>(role, std::move(value)));
        Children.push_back(Owned.back().get());
        return Owned.back().get();
    }

    // The tree lives as long as the test; counting references is not needed.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (id == IID_IUnknown || id == IID_IDispatch || id == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        return 1;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override
    {
        *parent = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override
    {
        *count = static_cast<long>(Children.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        *object = nullptr;
        if (child.vt != VT_I4 || child.lVal < 1 || child.lVal > static_cast<long>(Children.size())) {
            return E_INVALIDARG;
        }
        *object = Children[static_cast<std::size_t>(child.lVal - 1)];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT, BSTR* name) override
    {
        *name = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override
    {
        ++Reads;
        *value = ::SysAllocString(Value.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override
    {
        *text = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT, VARIANT* role) override
    {
        role->vt = VT_I4;
        role->lVal = Role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT, VARIANT* state) override
    {
        state->vt = VT_I4;
        state->lVal = State;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override
    {
        *text = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override
    {
        *file = nullptr;
        *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override
    {
        *text = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override
    {
        focus->vt = VT_EMPTY;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override
    {
        selection->vt = VT_EMPTY;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR* text) override
    {
        *text = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long*, long*, long*, long*, VARIANT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override
    {
        end->vt = VT_EMPTY;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long, long, VARIANT* child) override
    {
        child->vt = VT_EMPTY;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override
    {
        return E_NOTIMPL;
    }

private:
    std::vector<std::unique_ptr<TFakeAccessible>> Owned;
};

TFakeAccessible* g_root = nullptr;

LRESULT CALLBACK BrowserWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETOBJECT && static_cast<long>(lParam) == OBJID_CLIENT && g_root) {
        return ::LresultFromObject(__uuidof(IAccessible), wParam, g_root);
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND BrowserWindowMake()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = BrowserWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"Chrome_WidgetWin_1";
    ::RegisterClassExW(&windowClass);
    return ::CreateWindowExW(0, L"Chrome_WidgetWin_1", L"News - Browser", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
        nullptr, windowClass.hInstance, nullptr);
}

TWindowHandle HandleOf(HWND window)
{
    return static_cast<TWindowHandle>(reinterpret_cast<uintptr_t>(window));
}

} // namespace

TEST(MsaaBrowserAddresses, AddressBarGivesThePageShownNeverTypedTextNorThePagesFields)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // As both families lay it out: the tab strip and the toolbar with the address bar first,
    // the page below with its own fields.
    TFakeAccessible root(ROLE_SYSTEM_CLIENT);
    TFakeAccessible* tabs = root.Add(ROLE_SYSTEM_PAGETABLIST);
    tabs->Add(ROLE_SYSTEM_PAGETAB, L"News");
    TFakeAccessible* toolbar = root.Add(ROLE_SYSTEM_TOOLBAR);
    toolbar->Add(ROLE_SYSTEM_PUSHBUTTON);
    TFakeAccessible* addressBar = toolbar->Add(ROLE_SYSTEM_TEXT, L"https://news.example/today");
    TFakeAccessible* page = root.Add(ROLE_SYSTEM_DOCUMENT);
    TFakeAccessible* field = page->Add(ROLE_SYSTEM_GROUPING)->Add(ROLE_SYSTEM_TEXT, L"https://field.example/");
    g_root = &root;
    const HWND window = BrowserWindowMake();
    ASSERT_NE(window, nullptr);

    TMsaaBrowserAddresses addresses;
    EXPECT_TRUE(addresses.CanReadBrowserAddress());
    EXPECT_EQ(addresses.BrowserAddressGet(HandleOf(window), 1, TBrowserFamily::Chromium), "https://news.example/today");
    EXPECT_EQ(field->Reads, 0) << "the page's own fields are never read";

    // The user types into the address bar: the page shown still counts.
    addressBar->State |= STATE_SYSTEM_FOCUSED;
    addressBar->Value = L"https://typed.example/half";
    EXPECT_EQ(addresses.BrowserAddressGet(HandleOf(window), 1, TBrowserFamily::Firefox), "https://news.example/today");
    // Gone there: the new page counts.
    addressBar->State &= ~STATE_SYSTEM_FOCUSED;
    addressBar->Value = L"https://typed.example/half";
    EXPECT_EQ(addresses.BrowserAddressGet(HandleOf(window), 1, TBrowserFamily::Firefox), "https://typed.example/half");
    // A text that is no address (a search) gives none, and the page's field is not taken instead.
    addressBar->Value = L"weather tomorrow";
    EXPECT_EQ(addresses.BrowserAddressGet(HandleOf(window), 1, TBrowserFamily::Chromium), "");
    EXPECT_EQ(field->Reads, 0);

    // A walk is bounded: with room for two objects the address bar is not reached.
    addressBar->Value = L"https://news.example/today";
    TMsaaBrowserAddresses bounded(std::chrono::milliseconds(800), 2);
    EXPECT_EQ(bounded.BrowserAddressGet(HandleOf(window), 1, TBrowserFamily::Chromium), "");

    ::DestroyWindow(window);
    g_root = nullptr;
    EXPECT_EQ(addresses.BrowserAddressGet(HandleOf(window), 1, TBrowserFamily::Chromium), "");
    EXPECT_EQ(addresses.BrowserAddressGet(0, 0, TBrowserFamily::Chromium), "");
    ::CoUninitialize();
}
