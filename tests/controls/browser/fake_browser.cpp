#include "fake_browser.h"

#include <algorithm>

namespace fakebrowser {

namespace {

constexpr wchar_t kBrowserClass[] = L"FakeBrowserWindow";

LRESULT CALLBACK innerProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    log().innerA.push_back(Seen{window, message});
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK innerProcB(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    log().innerB.push_back(Seen{window, message});
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// The DWebBrowserEvents2 source: keeps the one advised sink.
class ConnectionPoint final : public IConnectionPoint {
  public:
    win::com_ptr<IDispatch> sink;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IConnectionPoint))
            return E_NOINTERFACE;
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IUnknown* unknown, DWORD* cookie) override {
        if (!unknown || !cookie || sink)
            return E_FAIL;
        if (FAILED(unknown->QueryInterface(kDiidEvents, sink.put_void())))
            return E_NOINTERFACE;
        ++log().advises;
        *cookie = 7;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        if (cookie != 7 || !sink)
            return CONNECT_E_NOCONNECTION;
        sink.reset();
        ++log().unadvises;
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  private:
    ULONG refs_ = 0;
};

Log& log() {
    static Log instance;
    return instance;
}

void resetLog(const Options& options) {
    log() = Log();
    log().options = options;
}

void registerWindowClasses() {
    static bool done = false;
    if (done)
        return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = kBrowserClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = innerProcA;
    wc.lpszClassName = kInnerClassA;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = innerProcB;
    wc.lpszClassName = kInnerClassB;
    RegisterClassExW(&wc);
}

// ---- Browser ---------------------------------------------------------------------------------------------

Browser::Browser() {
    ++log().created;
    log().live.push_back(this);
}

Browser::~Browser() {
    ++log().destroyed;
    auto& live = log().live;
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    if (point_)
        point_->Release();
    if (IsWindow(window_))
        DestroyWindow(window_);
}

IDispatch* Browser::sink() const {
    return point_ ? point_->sink.get() : nullptr;
}

STDMETHODIMP Browser::QueryInterface(REFIID iid, void** out) {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject))
        *out = static_cast<IOleObject*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceObject) || IsEqualIID(iid, IID_IOleWindow))
        *out = static_cast<IOleInPlaceObject*>(this);
    else if (IsEqualIID(iid, IID_IConnectionPointContainer) && log().options.events)
        *out = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(iid, kIidWebBrowser2) && log().options.webBrowser2)
        *out = static_cast<IWebBrowser2*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Browser::Release() {
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP Browser::SetClientSite(IOleClientSite* site) {
    if (!site) {
        ++log().siteClears;
        if (!log().options.holdSite)
            site_.reset();
        return S_OK;
    }
    site->AddRef();
    *site_.put() = site;
    return S_OK;
}

STDMETHODIMP Browser::Close(DWORD) {
    ++log().closes;
    if (site_) {
        win::com_ptr<IOleInPlaceSite> inPlace;
        if (SUCCEEDED(site_->QueryInterface(IID_IOleInPlaceSite, inPlace.put_void())))
            inPlace->OnInPlaceDeactivate();
    }
    if (IsWindow(window_))
        DestroyWindow(window_);
    window_ = inner_ = nullptr;
    return S_OK;
}

STDMETHODIMP Browser::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
    Log& l = log();
    l.siteBeforeVerb = static_cast<bool>(site_);
    l.verb = verb;
    l.verbParent = parent;
    l.verbRect = rect ? *rect : RECT{};
    if (!site_ && site)
        SetClientSite(site);
    win::com_ptr<IOleInPlaceSite> inPlace;
    if (!site_ || FAILED(site_->QueryInterface(IID_IOleInPlaceSite, inPlace.put_void())) ||
        inPlace->CanInPlaceActivate() != S_OK)
        return E_FAIL;
    inPlace->OnInPlaceActivate();
    win::com_ptr<IOleInPlaceFrame> frame;
    win::com_ptr<IOleInPlaceUIWindow> document;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof(info);
    if (FAILED(inPlace->GetWindowContext(frame.put(), document.put(), &position, &clip, &info)))
        return E_FAIL;
    l.contextPosition = position;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    window_ = CreateWindowExW(0, kBrowserClass, L"", WS_CHILD | WS_VISIBLE, position.left, position.top,
                              position.right - position.left, position.bottom - position.top, parent, nullptr,
                              instance, nullptr);
    HWND middle = CreateWindowExW(0, kBrowserClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window_,
                                  nullptr, instance, nullptr);
    inner_ = CreateWindowExW(0, (l.activations++ % 2) ? kInnerClassB : kInnerClassA, L"",
                             WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, middle, nullptr, instance, nullptr);
    return inner_ ? S_OK : E_FAIL;
}

STDMETHODIMP Browser::GetMiscStatus(DWORD, DWORD* status) {
    *status = log().options.clientSiteFirst ? OLEMISC_SETCLIENTSITEFIRST : 0;
    return S_OK;
}

STDMETHODIMP Browser::GetWindow(HWND* window) {
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP Browser::SetObjectRects(LPCRECT position, LPCRECT) {
    log().objectRects.push_back(*position);
    MoveWindow(window_, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
    return S_OK;
}

STDMETHODIMP Browser::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    *point = nullptr;
    if (!IsEqualIID(iid, kDiidEvents))
        return CONNECT_E_NOCONNECTION;
    if (!point_) {
        point_ = new ConnectionPoint;
        point_->AddRef();
    }
    point_->AddRef();
    *point = point_;
    return S_OK;
}

STDMETHODIMP Browser::Quit() {
    ++log().quits;
    return S_OK;
}

// ---- Class object ----------------------------------------------------------------------------------------

namespace {

class Factory : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (log().options.refuseCreate)
            return E_FAIL;
        auto* browser = new Browser;
        browser->AddRef();
        const HRESULT hr = browser->QueryInterface(iid, out);
        browser->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

Registration::Registration(const Options& options) {
    resetLog(options);
    registerWindowClasses();
    if (FAILED(CoRegisterClassObject(kClsidWebBrowser, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_)))
        cookie_ = 0;
}

Registration::~Registration() {
    if (cookie_)
        CoRevokeClassObject(cookie_);
}

// ---- Active object ---------------------------------------------------------------------------------------

STDMETHODIMP ActiveObject::QueryInterface(REFIID iid, void** out) {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IOleInPlaceActiveObject))
        return E_NOINTERFACE;
    *out = static_cast<IOleInPlaceActiveObject*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP ActiveObject::TranslateAccelerator(LPMSG msg) {
    offered.push_back(*msg);
    return consumes_ && msg->message == consumes_ ? S_OK : S_FALSE;
}

}  // namespace fakebrowser
