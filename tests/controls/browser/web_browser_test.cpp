// The web browser control in real windows: loading only when a layout asks for it, a sound empty
// control when the browser object cannot be made, its COM answers, the event sink, the subclassed
// innermost browser window and the lifetime shared between the tree and COM. The browser object is
// either the system's (whatever this Wine prefix gives) or a stand-in registered under its class id.
#include <windows.h>
#include <ole2.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "controls/controls.h"
#include "controls/web_browser.h"
#include "dui/context_parts.h"
#include "dui/factory.h"
#include "dui/loader.h"
#include "dui/style.h"
#include "fake_browser.h"
#include "host/handles.h"
#include "host/ui_context.h"
#include "ui_test_support.h"
#include "window_test_fixture.h"
#include "window/timer.h"
#include "window/window_impl.h"

namespace {

using fakebrowser::log;

constexpr DWORD kDeadline = 8000;
constexpr COLORREF kFillColor = RGB(200, 40, 20);

// A leaf that fills its rectangle, to show what lies under the browser control.
class Fill : public Control {
  public:
    void paint(HDC dc, const RECT& rect, const RECT&) override {
        win::unique_hbrush brush(CreateSolidBrush(kFillColor));
        FillRect(dc, &rect, brush.get());
    }
};

// The back buffer's 0x00RRGGBB form of a colour.
uint32_t rgb(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// While it lives, controls whose "style" is "marked.xml" paint a solid kMarkColor (the tests have no
// skin); the skin's painter comes back afterwards.
constexpr COLORREF kMarkColor = RGB(20, 60, 200);
class MarkedStyle final : public StylePainter {
  public:
    MarkedStyle() { setStylePainter(this); }
    ~MarkedStyle() { setStylePainter(&skinStylePainter()); }
    void paintStyle(Control&, HDC dc, const RECT& rect, const wchar_t* name) const override {
        if (std::wcscmp(name, L"marked.xml") != 0)
            return;
        win::unique_hbrush brush(CreateSolidBrush(kMarkColor));
        FillRect(dc, &rect, brush.get());
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    testsupport::addUiEnvironment({{},
                                   nullptr,
                                   nullptr,
                                   [](duiFactory::ControlCreatorRegistry& creators) {
                                       registerControlCreators(creators);
                                       creators.add<Control>(L"Blank");
                                       creators.add<Fill>(L"Fill");
                                   },
                                   true});

// What the host windows received, kept beyond the windows' lives.
struct HostLog {
    std::vector<std::wstring> navigations;  // 0x466 URLs ("<null>" for none)
    int completions = 0;                    // 0x467
};
HostLog hostLog;

class HostWindow : public WindowImpl {
  public:
    using WindowImpl::WindowImpl;
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WebBrowser::kBeforeNavigateMessage)
            hostLog.navigations.push_back(wParam ? reinterpret_cast<const wchar_t*>(wParam) : L"<null>");
        else if (message == WebBrowser::kNavigateCompleteMessage)
            ++hostLog.completions;
        return WindowImpl::handleMessage(message, wParam, lParam);
    }
};

bool loaded(const wchar_t* module) {
    return GetModuleHandleW(module) != nullptr;
}

bool anyBrowserModuleLoaded() {
    return loaded(L"ieframe.dll") || loaded(L"shdocvw.dll") || loaded(L"mshtml.dll");
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string describe(const RECT& r) {
    char text[80];
    std::snprintf(text, sizeof(text), "{%ld,%ld,%ld,%ld}", r.left, r.top, r.right, r.bottom);
    return text;
}

class BrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hostLog = HostLog();
        liveBefore_ = liveControlCount();
    }

    void TearDown() override {
        for (HWND hwnd : windows_) {
            if (IsWindow(hwnd))
                DestroyWindow(hwnd);
        }
        drain();
        EXPECT_EQ(boundWindowCount(), 0u) << "a window object outlived its test";
        EXPECT_EQ(liveControlCount(), liveBefore_) << "a control stayed live";
        EXPECT_EQ(WebBrowser::activeObjectCount(), 0u);
    }

    HostWindow* open(const std::string& xml, int x = 80, int y = 80) {
        Control* root = buildLayout(xml.data(), xml.size());
        EXPECT_NE(root, nullptr) << "the layout text built no tree";
        auto* window = new HostWindow(root);
        if (!createNativeWindow(window, L"browser test", WS_POPUP | WS_VISIBLE, x, y, 0, 0, nullptr, nullptr,
                                nullptr)) {
            ADD_FAILURE() << "the native window was not created";
            return nullptr;
        }
        windows_.push_back(window->handle());
        EXPECT_TRUE(testsupport::waitVisible(window->handle(), true, kDeadline));
        EXPECT_TRUE(settle(window));
        return window;
    }

    // Destroys the window (detaching and deleting its tree) and dispatches what that queued.
    void close(HostWindow* window) {
        ASSERT_TRUE(DestroyWindow(window->handle()));
        drain();
    }

    static void drain() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    static bool settle(HostWindow* window) { return testsupport::settleWindow(window); }

    static WebBrowser* browserById(HostWindow* window, int32_t id) {
        auto* browser = dynamic_cast<WebBrowser*>(window ? window->controlById(id) : nullptr);
        EXPECT_NE(browser, nullptr) << "no browser control with id " << id;
        return browser;
    }

    static uint32_t pixel(HostWindow* window, int x, int y) {
        return testsupport::backBufferPixel(window, x, y);
    }

    std::vector<HWND> windows_;
    std::size_t liveBefore_ = 0;
};

const char kBrowserPage[] =
    "<Canvas initSize=\"320,220\"><Fill width=\"320\" height=\"220\"/>"
    "<WebBrowser id=\"1\" x=\"20\" y=\"30\" width=\"200\" height=\"120\"/></Canvas>";

// DISPPARAMS for BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel).
struct BeforeNavigateArgs {
    explicit BeforeNavigateArgs(const wchar_t* target) : url(SysAllocString(target)) {
        for (VARIANT& v : args) VariantInit(&v);
        urlValue.vt = VT_BSTR;
        urlValue.bstrVal = url.get();
        args[5].vt = VT_BYREF | VT_VARIANT;  // URL, second of seven (stored last first)
        args[5].pvarVal = &urlValue;
        args[0].vt = VT_BYREF | VT_BOOL;  // Cancel
        args[0].pboolVal = &cancel;
        params.rgvarg = args;
        params.cArgs = 7;
    }
    win::unique_bstr url;
    VARIANT urlValue{};
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[7];
    DISPPARAMS params{};
};

HRESULT fire(IDispatch* sink, DISPID id, DISPPARAMS* params) {
    DISPPARAMS none{};
    return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params ? params : &none, nullptr,
                        nullptr, nullptr);
}

}  // namespace

namespace {
std::vector<Control*> destroyedScriptControls;
struct : ScriptObjectOwner {
    void releaseScriptObject(Control* control) override { destroyedScriptControls.push_back(control); }
} recordScriptRelease;
}  // namespace

// ---- Loading ---------------------------------------------------------------------------------------------

// First in the executable: nothing before it may have loaded the browser.
TEST_F(BrowserTest, LayoutWithoutBrowserNeverLoadsTheBrowserObject) {
    ASSERT_FALSE(anyBrowserModuleLoaded()) << "loaded before any layout";
    HostWindow* plain = open(
        "<Canvas initSize=\"300,200\"><Fill width=\"300\" height=\"200\"/><Button width=\"80\" "
        "height=\"20\"/>"
        "<Label text=\"x\"/><Edit width=\"100\" height=\"20\"/></Canvas>");
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(anyBrowserModuleLoaded());
    close(plain);
    EXPECT_FALSE(anyBrowserModuleLoaded());

    // With a stand-in registered for the class id: still nothing without the element, one with it.
    fakebrowser::Registration registration;
    ASSERT_TRUE(registration.ok());
    close(open("<Canvas initSize=\"300,200\"><Blank width=\"30\" height=\"30\"/></Canvas>"));
    EXPECT_EQ(log().created, 0);
    close(open(kBrowserPage));
    EXPECT_EQ(log().created, 1);
    EXPECT_FALSE(anyBrowserModuleLoaded());
}

// Whatever this prefix does for the system's browser class, the control stays sound. What happened is
// written to the test's output and properties.
TEST_F(BrowserTest, SystemBrowserObjectLeavesASoundControl) {
    {
        win::com_ptr<IUnknown> probe;
        const HRESULT hr =
            CoCreateInstance(fakebrowser::kClsidWebBrowser, nullptr,
                             CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IUnknown, probe.put_void());
        char text[160];
        std::snprintf(text, sizeof(text), "hr=0x%08lX ieframe=%d shdocvw=%d mshtml=%d",
                      static_cast<unsigned long>(hr), loaded(L"ieframe.dll"), loaded(L"shdocvw.dll"),
                      loaded(L"mshtml.dll"));
        std::printf("system browser object: %s\n", text);
        RecordProperty("system_browser", text);
    }
    HostWindow* window = open(kBrowserPage);
    ASSERT_NE(window, nullptr);
    WebBrowser* browser = browserById(window, 1);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->hostWindow(), window->handle());
    if (!browser->hasBrowser()) {
        EXPECT_EQ(browser->browserWindow(), nullptr);
        EXPECT_EQ(browser->references(), 0);
        EXPECT_EQ(GetWindow(window->handle(), GW_CHILD), nullptr) << "a window was left behind";
    } else {
        HWND browserWindow = browser->browserWindow();
        EXPECT_NE(browserWindow, nullptr);
        EXPECT_TRUE(IsChild(window->handle(), browserWindow));
        // Activated before the first layout pass, the browser window still ends up over the control.
        RECT control{}, placed{};
        ASSERT_TRUE(browser->windowRect(&control));
        EXPECT_TRUE(testsupport::pumpUntil(
            [&] {
                GetWindowRect(browserWindow, &placed);
                MapWindowPoints(nullptr, window->handle(), reinterpret_cast<POINT*>(&placed), 2);
                return sameRect(placed, control);
            },
            kDeadline))
            << describe(placed) << " instead of " << describe(control);
    }
    std::printf("system browser control: browser=%d window=%p events=%d in-place=%d references=%ld\n",
                browser->hasBrowser(), static_cast<void*>(browser->browserWindow()),
                browser->eventsConnected(), browser->inPlaceActive(),
                static_cast<long>(browser->references()));
    close(window);
    EXPECT_FALSE(isLiveControl(browser));
}

// ---- A browser that cannot be made -----------------------------------------------------------------------

class FailedBrowser : public BrowserTest, public ::testing::WithParamInterface<int> {};

// 0: the class object refuses; 1: the object has no IWebBrowser2; 2: it has no event source.
TEST_P(FailedBrowser, LeavesAControlThatLaysOutAndPaintsLikeAnEmptyOne) {
    fakebrowser::Options options;
    options.refuseCreate = GetParam() == 0;
    options.webBrowser2 = GetParam() != 1;
    options.events = GetParam() != 2;
    fakebrowser::Registration registration(options);
    ASSERT_TRUE(registration.ok());

    MarkedStyle marked;
    std::string page = kBrowserPage;
    page.replace(page.find("id=\"1\""), 6, "id=\"1\" style=\"marked.xml\"");
    std::string blankPage = page;
    blankPage.replace(blankPage.find("WebBrowser"), 10, "Blank");
    HostWindow* reference = open(blankPage, 420, 80);
    HostWindow* window = open(page);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(reference, nullptr);
    WebBrowser* browser = browserById(window, 1);
    ASSERT_NE(browser, nullptr);
    Control* blank = reference->controlById(1);
    ASSERT_NE(blank, nullptr);

    EXPECT_EQ(log().created, GetParam() == 0 ? 0 : 1);
    EXPECT_FALSE(browser->hasBrowser());
    EXPECT_EQ(browser->browserWindow(), nullptr);
    EXPECT_FALSE(browser->eventsConnected());
    EXPECT_FALSE(browser->inPlaceActive());
    EXPECT_EQ(browser->references(), 0) << "the failed browser still holds the control";
    EXPECT_EQ(log().destroyed, log().created) << "the failed browser object was not released";
    EXPECT_EQ(GetWindow(window->handle(), GW_CHILD), nullptr) << "the browser's window was left behind";
    if (GetParam() != 0) {
        EXPECT_EQ(log().closes, 1);
        EXPECT_EQ(log().quits, GetParam() == 1 ? 0 : 1);
        EXPECT_EQ(log().advises, log().unadvises);
    }

    // Lays out, hit-tests and paints like the empty control.
    RECT mine{}, theirs{};
    ASSERT_TRUE(browser->windowRect(&mine));
    ASSERT_TRUE(blank->windowRect(&theirs));
    EXPECT_TRUE(sameRect(mine, theirs)) << describe(mine) << " vs " << describe(theirs);
    EXPECT_TRUE(sameRect(mine, RECT{20, 30, 220, 150})) << describe(mine);
    EXPECT_EQ(window->root()->hitTest(POINT{100, 100}), static_cast<Control*>(browser));
    EXPECT_EQ(reference->root()->hitTest(POINT{100, 100}), blank);
    InvalidateRect(window->handle(), nullptr, FALSE);
    InvalidateRect(reference->handle(), nullptr, FALSE);
    ASSERT_TRUE(settle(window));
    ASSERT_TRUE(settle(reference));
    int differing = 0;
    for (int y = 0; y < 220; y += 7) {
        for (int x = 0; x < 320; x += 7) {
            if (pixel(window, x, y) != pixel(reference, x, y))
                ++differing;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(pixel(window, 100, 80), rgb(kMarkColor)) << "its style was not painted";
    EXPECT_EQ(pixel(window, 10, 10), rgb(kFillColor));

    close(window);
    EXPECT_FALSE(isLiveControl(browser));
    EXPECT_EQ(log().destroyed, log().created);
}

INSTANTIATE_TEST_SUITE_P(Steps, FailedBrowser, ::testing::Values(0, 1, 2));

// ---- COM answers -----------------------------------------------------------------------------------------

TEST_F(BrowserTest, LayoutElementBuildsTheBrowserControl) {
    const char xml[] = "<WebBrowser/>";
    std::unique_ptr<Control> control(buildLayout(xml, sizeof(xml) - 1));
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(typeid(*control) == typeid(WebBrowser));
    EXPECT_STREQ(control->typeName(), L"Control");
    EXPECT_EQ(control->flags(), 0x3u);
    EXPECT_FALSE(static_cast<WebBrowser*>(control.get())->hasBrowser())
        << "created before it joined a window";
}

TEST_F(BrowserTest, InterfacesShareOneIdentityAndOneCount) {
    std::unique_ptr<WebBrowser> browser(new WebBrowser);
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->references(), 0);
    EXPECT_EQ(browser->flags(), 0x3u);
    EXPECT_STREQ(browser->typeName(), L"Control");

    IOleClientSite* site = browser.get();
    struct Answer {
        IID iid;
        void* expected;
    };
    const IID kIidEvents = fakebrowser::kDiidEvents;
    const Answer answers[] = {
        {IID_IUnknown, static_cast<IOleClientSite*>(browser.get())},
        {IID_IOleClientSite, static_cast<IOleClientSite*>(browser.get())},
        {IID_IOleInPlaceSite, static_cast<IOleInPlaceSite*>(browser.get())},
        {IID_IOleWindow, static_cast<IOleInPlaceFrame*>(browser.get())},
        {fakebrowser::kIidDocHostUIHandler, static_cast<IDocHostUIHandler*>(browser.get())},
        {kIidEvents, static_cast<DWebBrowserEvents2*>(browser.get())},
        {IID_IDispatch, static_cast<DWebBrowserEvents2*>(browser.get())},
    };
    // Asked through every interface, each identifier gives the same pointer and one reference.
    IUnknown* askers[] = {
        static_cast<IOleClientSite*>(browser.get()), static_cast<IOleInPlaceSite*>(browser.get()),
        static_cast<IOleInPlaceFrame*>(browser.get()), static_cast<IDocHostUIHandler*>(browser.get()),
        static_cast<DWebBrowserEvents2*>(browser.get())};
    for (IUnknown* asker : askers) {
        for (const Answer& a : answers) {
            void* out = nullptr;
            ASSERT_EQ(asker->QueryInterface(a.iid, &out), S_OK);
            EXPECT_EQ(out, a.expected);
            EXPECT_EQ(browser->references(), 1);
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u);
        }
        for (const IID& refused : {IID_IOleInPlaceFrame, IID_IOleContainer, IID_IOleObject, IID_IStream}) {
            void* out = reinterpret_cast<void*>(1);
            EXPECT_EQ(asker->QueryInterface(refused, &out), E_NOINTERFACE);
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(browser->references(), 0);

    // AddRef and Release through different interfaces act on one count.
    EXPECT_EQ(site->AddRef(), 1u);
    EXPECT_EQ(static_cast<IDocHostUIHandler*>(browser.get())->AddRef(), 2u);
    EXPECT_EQ(static_cast<DWebBrowserEvents2*>(browser.get())->AddRef(), 3u);
    EXPECT_EQ(static_cast<IOleInPlaceSite*>(browser.get())->Release(), 2u);
    EXPECT_EQ(static_cast<IOleInPlaceFrame*>(browser.get())->Release(), 1u);
    EXPECT_EQ(site->Release(), 0u);
    EXPECT_EQ(browser->references(), 0);
}

TEST_F(BrowserTest, MethodsAnswerAsTheContainerPromises) {
    std::unique_ptr<WebBrowser> browser(new WebBrowser);
    IOleClientSite* site = browser.get();
    IOleInPlaceSite* inPlace = browser.get();
    IOleInPlaceFrame* frame = browser.get();
    IDocHostUIHandler* ui = browser.get();
    DWebBrowserEvents2* events = browser.get();

    IMoniker* moniker = nullptr;
    IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
    EXPECT_EQ(site->SaveObject(), E_NOTIMPL);
    EXPECT_EQ(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_OBJFULL, &moniker), E_NOTIMPL);
    EXPECT_EQ(site->RequestNewObjectLayout(), E_NOTIMPL);
    EXPECT_EQ(site->GetContainer(&container), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);
    EXPECT_EQ(site->ShowObject(), S_OK);
    EXPECT_EQ(site->OnShowWindow(TRUE), S_OK);

    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(inPlace->GetWindow(&window), S_OK);
    EXPECT_EQ(window, nullptr) << "no host window before attach";
    EXPECT_EQ(inPlace->ContextSensitiveHelp(TRUE), E_NOTIMPL);
    EXPECT_EQ(inPlace->Scroll(SIZE{1, 1}), E_NOTIMPL);
    EXPECT_EQ(inPlace->DiscardUndoState(), E_NOTIMPL);
    EXPECT_EQ(inPlace->DeactivateAndUndo(), E_NOTIMPL);
    EXPECT_EQ(inPlace->OnPosRectChange(nullptr), E_NOTIMPL);
    EXPECT_EQ(inPlace->CanInPlaceActivate(), S_OK);
    EXPECT_EQ(inPlace->OnUIActivate(), S_OK);
    EXPECT_EQ(inPlace->OnUIDeactivate(FALSE), S_OK);
    EXPECT_EQ(inPlace->OnInPlaceActivate(), S_OK);
    EXPECT_TRUE(browser->inPlaceActive());
    EXPECT_EQ(inPlace->OnInPlaceDeactivate(), S_OK);
    EXPECT_FALSE(browser->inPlaceActive());

    RECT border{};
    EXPECT_EQ(frame->GetWindow(&window), S_OK);
    EXPECT_EQ(frame->ContextSensitiveHelp(FALSE), E_NOTIMPL);
    EXPECT_EQ(frame->GetBorder(&border), E_NOTIMPL);
    EXPECT_EQ(frame->RequestBorderSpace(&border), E_NOTIMPL);
    EXPECT_EQ(frame->SetBorderSpace(&border), E_NOTIMPL);
    EXPECT_EQ(frame->InsertMenus(nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(frame->SetMenu(nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(frame->RemoveMenus(nullptr), E_NOTIMPL);
    EXPECT_EQ(frame->SetStatusText(L"x"), E_NOTIMPL);
    MSG msg{};
    EXPECT_EQ(frame->TranslateAccelerator(&msg, 0), E_NOTIMPL);
    EXPECT_EQ(frame->EnableModeless(TRUE), S_OK);

    POINT at{};
    EXPECT_EQ(ui->ShowContextMenu(0, &at, nullptr, nullptr), S_OK);
    EXPECT_EQ(ui->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(ui->HideUI(), S_OK);
    EXPECT_EQ(ui->UpdateUI(), S_OK);
    EXPECT_EQ(ui->EnableModeless(FALSE), S_OK);
    EXPECT_EQ(ui->OnDocWindowActivate(TRUE), S_OK);
    EXPECT_EQ(ui->OnFrameWindowActivate(TRUE), S_OK);
    EXPECT_EQ(ui->ResizeBorder(&border, nullptr, TRUE), S_OK);
    EXPECT_EQ(ui->TranslateAccelerator(&msg, nullptr, 0), S_FALSE);
    LPOLESTR key = nullptr;
    EXPECT_EQ(ui->GetOptionKeyPath(&key, 0), S_FALSE);
    EXPECT_EQ(ui->GetDropTarget(nullptr, nullptr), S_FALSE);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(ui->GetExternal(&external), S_FALSE);
    EXPECT_EQ(external, nullptr);
    wchar_t url[] = L"https://example.test/";
    LPWSTR translated = url;
    EXPECT_EQ(ui->TranslateUrl(0, url, &translated), S_FALSE);
    EXPECT_EQ(translated, nullptr);
    IDataObject* filtered = reinterpret_cast<IDataObject*>(1);
    EXPECT_EQ(ui->FilterDataObject(nullptr, &filtered), S_FALSE);
    EXPECT_EQ(filtered, nullptr);

    EXPECT_EQ(ui->GetHostInfo(nullptr), E_INVALIDARG);
    DOCHOSTUIINFO info;
    std::memset(&info, 0xCC, sizeof(info));
    EXPECT_EQ(ui->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.cbSize, 32u);
    EXPECT_EQ(info.dwFlags, 7u);
    EXPECT_EQ(info.dwDoubleClick, 0u);

    UINT count = 0;
    ITypeInfo* type = nullptr;
    LPOLESTR name = const_cast<LPOLESTR>(L"Navigate");
    DISPID id = 0;
    EXPECT_EQ(events->GetTypeInfoCount(&count), E_NOTIMPL);
    EXPECT_EQ(events->GetTypeInfo(0, 0, &type), E_NOTIMPL);
    EXPECT_EQ(events->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);
    EXPECT_EQ(browser->references(), 0);
}

TEST_F(BrowserTest, WindowContextNamesTheHostAndTheControlsPlace) {
    fakebrowser::Options options;
    options.refuseCreate = true;  // an empty control still answers for its place
    fakebrowser::Registration registration(options);
    HostWindow* window = open(
        "<Canvas initSize=\"320,220\"><Canvas x=\"10\" y=\"15\" width=\"300\" height=\"200\">"
        "<WebBrowser id=\"1\" x=\"5\" y=\"7\" width=\"100\" height=\"60\"/></Canvas></Canvas>");
    ASSERT_NE(window, nullptr);
    WebBrowser* browser = browserById(window, 1);
    ASSERT_NE(browser, nullptr);
    IOleInPlaceSite* site = browser;

    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(1);
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof(info);
    EXPECT_EQ(site->GetWindowContext(&frame, &document, &position, &clip, nullptr), E_INVALIDARG);
    EXPECT_EQ(site->GetWindowContext(&frame, nullptr, &position, &clip, &info), E_INVALIDARG);
    EXPECT_EQ(site->GetWindowContext(&frame, &document, nullptr, &clip, &info), E_INVALIDARG);
    EXPECT_EQ(site->GetWindowContext(nullptr, &document, &position, &clip, &info), E_INVALIDARG);
    EXPECT_EQ(site->GetWindowContext(&frame, &document, &position, nullptr, &info), E_INVALIDARG);
    EXPECT_EQ(browser->references(), 0);

    ASSERT_EQ(site->GetWindowContext(&frame, &document, &position, &clip, &info), S_OK);
    EXPECT_EQ(frame, static_cast<IOleInPlaceFrame*>(browser));
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(browser->references(), 1) << "the frame handed out carries a reference";
    EXPECT_EQ(info.fMDIApp, FALSE);
    EXPECT_EQ(info.hwndFrame, window->handle());
    EXPECT_EQ(info.haccel, nullptr);
    EXPECT_EQ(info.cAccelEntries, 0u);
    const RECT expected{15, 22, 115, 82};
    EXPECT_TRUE(sameRect(position, expected)) << describe(position);
    EXPECT_TRUE(sameRect(clip, expected)) << describe(clip);
    EXPECT_EQ(frame->Release(), 0u);

    HWND host = nullptr;
    EXPECT_EQ(site->GetWindow(&host), S_OK);
    EXPECT_EQ(host, window->handle());
    close(window);
}

TEST_F(BrowserTest, SetActiveObjectKeepsTheProcessWideSet) {
    fakebrowser::ActiveObject first, second;
    {
        std::unique_ptr<WebBrowser> a(new WebBrowser);
        std::unique_ptr<WebBrowser> b(new WebBrowser);
        IOleInPlaceFrame* frameA = a.get();
        IOleInPlaceFrame* frameB = b.get();

        EXPECT_EQ(frameA->SetActiveObject(&first, L"first"), S_OK);
        EXPECT_EQ(first.refs, 2u);
        EXPECT_TRUE(WebBrowser::isActiveObject(&first));
        EXPECT_EQ(frameB->SetActiveObject(&second, nullptr), S_OK);
        EXPECT_EQ(WebBrowser::activeObjectCount(), 2u);

        // Storing the same object again keeps it in the set with one reference.
        EXPECT_EQ(frameA->SetActiveObject(&first, nullptr), S_OK);
        EXPECT_TRUE(WebBrowser::isActiveObject(&first));
        EXPECT_EQ(first.refs, 2u);

        // A new object replaces the stored one, which leaves the set and is released.
        EXPECT_EQ(frameA->SetActiveObject(&second, nullptr), S_OK);
        EXPECT_FALSE(WebBrowser::isActiveObject(&first));
        EXPECT_EQ(first.refs, 1u);
        EXPECT_EQ(second.refs, 3u);
        EXPECT_EQ(frameA->SetActiveObject(nullptr, nullptr), S_OK);
        EXPECT_EQ(second.refs, 2u);
        EXPECT_TRUE(WebBrowser::isActiveObject(&second)) << "still b's";
        EXPECT_EQ(a->references(), 0);
    }
    // Destroying a control lets go of its stored object.
    EXPECT_EQ(WebBrowser::activeObjectCount(), 0u);
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(first.refs, 1u);
}

// ---- Attach, events and detach with a browser object -----------------------------------------------------

TEST_F(BrowserTest, AttachActivatesTheBrowserInPlaceAndDetachLetsGoOfIt) {
    for (bool siteFirst : {true, false}) {
        SCOPED_TRACE(siteFirst ? "client site first" : "client site with the verb");
        fakebrowser::Options options;
        options.clientSiteFirst = siteFirst;
        fakebrowser::Registration registration(options);
        ASSERT_TRUE(registration.ok());
        HostWindow* window = open(kBrowserPage);
        ASSERT_NE(window, nullptr);
        WebBrowser* browser = browserById(window, 1);
        ASSERT_NE(browser, nullptr);
        ASSERT_EQ(log().live.size(), 1u);
        fakebrowser::Browser* fake = log().live[0];

        EXPECT_TRUE(browser->hasBrowser());
        EXPECT_EQ(log().siteBeforeVerb, siteFirst);
        EXPECT_EQ(log().verb, OLEIVERB_INPLACEACTIVATE);
        EXPECT_EQ(log().verbParent, window->handle());
        // Attached comes before the first layout pass, so the verb gets the client rectangle of that
        // moment; the browser window is moved onto the control once the control is laid out.
        EXPECT_EQ(log().verbRect.left, 0);
        EXPECT_EQ(log().verbRect.top, 0);
        ASSERT_FALSE(log().objectRects.empty());
        EXPECT_TRUE(sameRect(log().objectRects.back(), RECT{20, 30, 220, 150}))
            << describe(log().objectRects.back());
        EXPECT_TRUE(browser->inPlaceActive());
        EXPECT_EQ(browser->browserWindow(), fake->window());
        EXPECT_TRUE(browser->eventsConnected());
        EXPECT_EQ(log().advises, 1);
        EXPECT_EQ(fake->sink(), static_cast<IDispatch*>(static_cast<DWebBrowserEvents2*>(browser)));
        EXPECT_EQ(browser->references(), 2) << "the client site and the event sink";

        HWND browserWindow = fake->window();
        close(window);
        EXPECT_EQ(log().unadvises, 1);
        EXPECT_EQ(log().closes, 1);
        EXPECT_EQ(log().siteClears, 1);
        EXPECT_EQ(log().quits, 1);
        EXPECT_EQ(log().destroyed, 1) << "the browser object was not released";
        EXPECT_FALSE(IsWindow(browserWindow));
    }
}

TEST_F(BrowserTest, EventSinkReportsNavigationAndRefusesDownloads) {
    fakebrowser::Registration registration;
    HostWindow* window = open(kBrowserPage);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(log().live.size(), 1u);
    IDispatch* sink = log().live[0]->sink();
    ASSERT_NE(sink, nullptr);

    // BeforeNavigate2: sent at once, with the URL, never cancelled.
    BeforeNavigateArgs before(L"https://example.test/page?q=1");
    EXPECT_EQ(fire(sink, WebBrowser::kBeforeNavigate2, &before.params), S_OK);
    ASSERT_EQ(hostLog.navigations.size(), 1u);
    EXPECT_EQ(hostLog.navigations[0], L"https://example.test/page?q=1");
    EXPECT_EQ(before.cancel, VARIANT_FALSE);

    // NavigateComplete2: posted, so it arrives with the next dispatch.
    DISPPARAMS none{};
    EXPECT_EQ(fire(sink, WebBrowser::kNavigateComplete2, &none), S_OK);
    EXPECT_EQ(hostLog.completions, 0);
    EXPECT_TRUE(testsupport::pumpUntil([] { return hostLog.completions == 1; }, kDeadline));

    // FileDownload(ActiveDocument, Cancel): always cancelled.
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT download[2];
    VariantInit(&download[0]);
    VariantInit(&download[1]);
    download[0].vt = VT_BYREF | VT_BOOL;
    download[0].pboolVal = &cancel;
    download[1].vt = VT_BOOL;
    download[1].boolVal = VARIANT_FALSE;
    DISPPARAMS downloadParams{download, nullptr, 2, 0};
    EXPECT_EQ(fire(sink, WebBrowser::kFileDownload, &downloadParams), S_OK);
    EXPECT_EQ(cancel, VARIANT_TRUE);

    // Arguments of the wrong shape are not read: no URL, nothing to cancel.
    EXPECT_EQ(fire(sink, WebBrowser::kBeforeNavigate2, &none), S_OK);
    ASSERT_EQ(hostLog.navigations.size(), 2u);
    EXPECT_EQ(hostLog.navigations[1], L"<null>");
    VARIANT notByReference;
    VariantInit(&notByReference);
    notByReference.vt = VT_BOOL;
    notByReference.boolVal = VARIANT_FALSE;
    DISPPARAMS wrongCancel{&notByReference, nullptr, 1, 0};
    EXPECT_EQ(fire(sink, WebBrowser::kFileDownload, &wrongCancel), S_OK);
    EXPECT_EQ(notByReference.boolVal, VARIANT_FALSE);
    EXPECT_EQ(fire(sink, WebBrowser::kFileDownload, &none), S_OK);

    // Any other event: not implemented, nothing reaches the host.
    EXPECT_EQ(fire(sink, 259 /* DocumentComplete */, &none), E_NOTIMPL);
    EXPECT_EQ(fire(sink, 102 /* StatusTextChange */, &none), E_NOTIMPL);
    testsupport::pumpFor(100);
    EXPECT_EQ(hostLog.navigations.size(), 2u);
    EXPECT_EQ(hostLog.completions, 1);
    close(window);
}

TEST_F(BrowserTest, InnermostBrowserWindowAnswersEraseAndOffersMessagesToActiveObjects) {
    fakebrowser::Registration registration;
    HostWindow* window = open(kBrowserPage);
    ASSERT_NE(window, nullptr);
    WebBrowser* browser = browserById(window, 1);
    ASSERT_NE(browser, nullptr);
    fakebrowser::Browser* fake = log().live.at(0);
    HWND inner = fake->inner();
    ASSERT_NE(inner, nullptr);

    EXPECT_EQ(browser->subclassedWindow(), nullptr) << "subclassed before the first event";
    DISPPARAMS none{};
    fire(fake->sink(), WebBrowser::kNavigateComplete2, &none);
    EXPECT_EQ(browser->subclassedWindow(), inner);

    // WM_ERASEBKGND is answered 1 and never reaches the browser's own procedure.
    log().innerA.clear();
    {
        auto dc = win::get_dc(inner);
        EXPECT_EQ(SendMessageW(inner, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0), 1);
    }
    for (const fakebrowser::Seen& seen : log().innerA)
        EXPECT_NE(seen.message, static_cast<UINT>(WM_ERASEBKGND));
    EXPECT_EQ(SendMessageW(inner, WM_USER + 7, 0, 0), 0);
    ASSERT_FALSE(log().innerA.empty());
    EXPECT_EQ(log().innerA.back().message, static_cast<UINT>(WM_USER + 7));
    EXPECT_EQ(log().innerA.back().window, inner);

    // An active object sees every message first; the one it consumes stops there.
    fakebrowser::ActiveObject active(WM_KEYDOWN);
    IOleInPlaceFrame* frame = browser;
    ASSERT_EQ(frame->SetActiveObject(&active, nullptr), S_OK);
    log().innerA.clear();
    ASSERT_TRUE(PostMessageW(inner, WM_KEYDOWN, 'A', 0x1E0001));
    ASSERT_TRUE(PostMessageW(inner, WM_KEYUP, 'A', 0xC01E0001));
    auto seenByInner = [](UINT message) {
        for (const fakebrowser::Seen& seen : log().innerA) {
            if (seen.message == message)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(testsupport::pumpUntil([&] { return seenByInner(WM_KEYUP); }, kDeadline));
    EXPECT_FALSE(seenByInner(WM_KEYDOWN)) << "a consumed message reached the browser";
    bool offeredDown = false, offeredUp = false;
    POINT cursor{};
    GetCursorPos(&cursor);
    for (const MSG& m : active.offered) {
        EXPECT_EQ(m.hwnd, inner);
        if (m.message == WM_KEYDOWN) {
            offeredDown = true;
            EXPECT_EQ(m.wParam, static_cast<WPARAM>('A'));
            EXPECT_EQ(m.lParam, 0x1E0001);
            EXPECT_NE(m.time, 0u);
            EXPECT_EQ(m.pt.x, cursor.x);
            EXPECT_EQ(m.pt.y, cursor.y);
        }
        offeredUp = offeredUp || m.message == WM_KEYUP;
    }
    EXPECT_TRUE(offeredDown);
    EXPECT_TRUE(offeredUp);

    // Real key presses typed into the focused browser window take the same road.
    ASSERT_TRUE(testsupport::bringToFront(window->handle()));
    SetFocus(inner);
    ASSERT_EQ(GetFocus(), inner);
    active.offered.clear();
    log().innerA.clear();
    testsupport::pressKey('B');
    EXPECT_TRUE(testsupport::pumpUntil([&] { return seenByInner(WM_KEYUP); }, kDeadline));
    EXPECT_FALSE(seenByInner(WM_KEYDOWN)) << "a consumed key press reached the browser";
    bool typed = false;
    for (const MSG& m : active.offered) typed = typed || (m.message == WM_KEYDOWN && m.wParam == 'B');
    EXPECT_TRUE(typed);

    // An active object of another browser is offered the messages too (the set is process-wide).
    fakebrowser::ActiveObject other(WM_CHAR);
    std::unique_ptr<WebBrowser> second(new WebBrowser);
    static_cast<IOleInPlaceFrame*>(second.get())->SetActiveObject(&other, nullptr);
    log().innerA.clear();
    EXPECT_EQ(SendMessageW(inner, WM_CHAR, 'a', 0), 0);
    EXPECT_FALSE(seenByInner(WM_CHAR));
    ASSERT_FALSE(other.offered.empty());
    EXPECT_EQ(other.offered.back().message, static_cast<UINT>(WM_CHAR));
    second.reset();

    close(window);
    EXPECT_EQ(active.refs, 1u) << "the stored active object was not released";
}

TEST_F(BrowserTest, TwoBrowsersInOneWindowKeepTheirOwnWindowProcedures) {
    fakebrowser::Registration registration;
    HostWindow* window = open(
        "<Canvas initSize=\"420,200\"><WebBrowser id=\"1\" x=\"0\" y=\"0\" width=\"200\" height=\"200\"/>"
        "<WebBrowser id=\"2\" x=\"210\" y=\"0\" width=\"200\" height=\"200\"/></Canvas>");
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(log().live.size(), 2u);
    WebBrowser* first = browserById(window, 1);
    WebBrowser* second = browserById(window, 2);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    fakebrowser::Browser* fakeA = log().live[0];
    fakebrowser::Browser* fakeB = log().live[1];
    ASSERT_EQ(first->browserWindow(), fakeA->window());
    ASSERT_EQ(second->browserWindow(), fakeB->window());
    HWND innerA = fakeA->inner();
    HWND innerB = fakeB->inner();

    DISPPARAMS none{};
    fire(fakeA->sink(), WebBrowser::kNavigateComplete2, &none);
    fire(fakeB->sink(), WebBrowser::kNavigateComplete2, &none);
    EXPECT_EQ(first->subclassedWindow(), innerA);
    EXPECT_EQ(second->subclassedWindow(), innerB);

    log().innerA.clear();
    log().innerB.clear();
    SendMessageW(innerA, WM_USER + 11, 0, 0);
    SendMessageW(innerB, WM_USER + 12, 0, 0);
    ASSERT_EQ(log().innerA.size(), 1u);
    ASSERT_EQ(log().innerB.size(), 1u);
    EXPECT_EQ(log().innerA[0].window, innerA);
    EXPECT_EQ(log().innerA[0].message, static_cast<UINT>(WM_USER + 11));
    EXPECT_EQ(log().innerB[0].window, innerB);
    EXPECT_EQ(log().innerB[0].message, static_cast<UINT>(WM_USER + 12));
    EXPECT_EQ(SendMessageW(innerA, WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(SendMessageW(innerB, WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(log().innerA.size(), 1u);
    EXPECT_EQ(log().innerB.size(), 1u);
    close(window);
    EXPECT_EQ(log().destroyed, 2);
}

TEST_F(BrowserTest, BrowserWindowFollowsTheControlsRectangle) {
    fakebrowser::Registration registration;
    HostWindow* window =
        open("<Grid initSize=\"300,200\"><WebBrowser id=\"1\" margin=\"10,20,30,40\"/></Grid>");
    ASSERT_NE(window, nullptr);
    WebBrowser* browser = browserById(window, 1);
    ASSERT_NE(browser, nullptr);
    HWND browserWindow = browser->browserWindow();
    ASSERT_NE(browserWindow, nullptr);

    auto placedAtControl = [&] {
        RECT control{}, placed{};
        if (!browser->windowRect(&control) || !GetWindowRect(browserWindow, &placed))
            return false;
        MapWindowPoints(nullptr, window->handle(), reinterpret_cast<POINT*>(&placed), 2);
        return sameRect(control, placed) && !log().objectRects.empty() &&
               sameRect(log().objectRects.back(), control);
    };
    EXPECT_TRUE(testsupport::pumpUntil(placedAtControl, kDeadline));
    RECT before{};
    browser->windowRect(&before);
    EXPECT_TRUE(sameRect(before, RECT{10, 20, 270, 160})) << describe(before);

    ASSERT_TRUE(SetWindowPos(window->handle(), nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_TRUE(testsupport::pumpUntil(
        [&] {
            RECT now{};
            return browser->windowRect(&now) && sameRect(now, RECT{10, 20, 370, 260}) && placedAtControl();
        },
        kDeadline));
    close(window);
}

// ---- Lifetime shared between the tree and COM ------------------------------------------------------------

TEST_F(BrowserTest, ControlOutlivesTheTreeUntilTheBrowserLetsGo) {
    fakebrowser::Options options;
    options.holdSite = true;
    fakebrowser::Registration registration(options);
    setScriptObjectOwner(&recordScriptRelease);
    destroyedScriptControls.clear();
    HostWindow* window = open(kBrowserPage);
    ASSERT_NE(window, nullptr);
    WebBrowser* browser = browserById(window, 1);
    ASSERT_NE(browser, nullptr);
    ASSERT_NE(browser->previousSibling(), nullptr);
    fakebrowser::Browser* fake = log().live.at(0);
    fake->AddRef();  // the test keeps the browser object, which keeps the client site

    close(window);
    auto released = [&] {
        return std::count(destroyedScriptControls.begin(), destroyedScriptControls.end(), browser);
    };
    EXPECT_EQ(released(), 1) << "its script table outlived the tree";
    EXPECT_EQ(browser->parent(), nullptr) << "it still points into the freed tree";
    EXPECT_EQ(browser->previousSibling(), nullptr);
    EXPECT_EQ(browser->nextSibling(), nullptr);
    EXPECT_FALSE(isLiveControl(browser));
    EXPECT_EQ(browser->references(), 1);
    EXPECT_EQ(browser->hostWindow(), nullptr);

    // The browser may still call its site; the answers are sound.
    win::com_ptr<IOleInPlaceSite> site;
    IOleClientSite* clientSite = browser;
    ASSERT_EQ(clientSite->QueryInterface(IID_IOleInPlaceSite, site.put_void()), S_OK);
    HWND host = reinterpret_cast<HWND>(1);
    EXPECT_EQ(site->GetWindow(&host), S_OK);
    EXPECT_EQ(host, nullptr);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    EXPECT_EQ(site->GetWindowContext(&frame, &document, &position, &clip, &info), S_OK);
    EXPECT_TRUE(sameRect(position, RECT{0, 0, 0, 0}));
    frame->Release();
    site.reset();
    EXPECT_EQ(released(), 1);

    fake->dropSite();  // the last reference: the control goes now
    EXPECT_EQ(released(), 2) << "not destroyed with the last reference";
    fake->Release();
    EXPECT_EQ(log().destroyed, 1);
    setScriptObjectOwner(nullptr);
}
