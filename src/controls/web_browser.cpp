#include "controls/web_browser.h"

#include <commctrl.h>
#include <algorithm>
#include <set>
#include <vector>

#include "dui/delegate.h"
#include "dui/factory.h"
#include "dui/window_host.h"

namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}
const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// {34A715A0-6587-11D0-924A-0020AFC7AC4D}
const IID kDiidWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
// {BD3F23C0-D43E-11CF-893B-00AA00BDCE1A}
const IID kIidDocHostUIHandler = {
    0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
// {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
const IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

constexpr DWORD kHostFlags =
    DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_NO3DBORDER;

// The active in-place objects of every browser, in pointer order, one entry per control that stored
// the object; each entry is held by that control's reference.
std::multiset<IOleInPlaceActiveObject*>& activeObjects() {
    static std::multiset<IOleInPlaceActiveObject*> set;
    return set;
}

void leaveActiveObjects(IOleInPlaceActiveObject* object) {
    auto& set = activeObjects();
    if (auto it = set.find(object); it != set.end())
        set.erase(it);
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The argument `fromEnd` places before the last one (dispatch arguments are stored last first).
VARIANT* argument(DISPPARAMS* params, UINT fromEnd) {
    if (!params || !params->rgvarg || params->cArgs <= fromEnd)
        return nullptr;
    return &params->rgvarg[params->cArgs - 1 - fromEnd];
}

}  // namespace

WebBrowser::WebBrowser() : Control(flag::kControlInitial) {
    addDelegate(event::Attached, this, onAttached);
}

WebBrowser::~WebBrowser() {
    closeBrowser();
}

void WebBrowser::operator delete(WebBrowser* self, std::destroying_delete_t) {
    // A reference of its own while the browser lets go, so no Release inside destroys the object.
    self->AddRef();
    self->closeBrowser();
    self->treeReleased_ = true;
    if (--self->references_ == 0) {
        self->destroyNow();
        return;
    }
    // Still referenced by COM: leave the window and the tree now, die with the last Release.
    if (WindowHost* host = self->window()) {
        host->eraseControlId(self);
        self->detach();
    }
    self->leaveTree();
    self->host_ = nullptr;
}

void WebBrowser::destroyNow() {
    this->~WebBrowser();
    dui::SmallObject::operator delete(this);
}

void WebBrowser::paint(HDC dc, const RECT& rect, const RECT& clip) {
    Control::paint(dc, rect, clip);  // the style lies under the browser, and shows without one
    followBounds();
}

std::size_t WebBrowser::activeObjectCount() {
    return activeObjects().size();
}

bool WebBrowser::isActiveObject(IOleInPlaceActiveObject* object) {
    return activeObjects().count(object) != 0;
}

// ---- Attach and detach ---------------------------------------------------------------------------------

void WebBrowser::onAttached(void* context, Control*, EventRecord&) {
    static_cast<WebBrowser*>(context)->attachBrowser();
}

void WebBrowser::attachBrowser() {
    host_ = window() ? window()->windowHandle() : nullptr;
    bool ok = webBrowser_ || createBrowser();
    if (ok) {
        win::com_ptr<IOleWindow> oleWindow;
        HWND browser = nullptr;
        ok = SUCCEEDED(webBrowser_->QueryInterface(IID_IOleWindow, oleWindow.put_void())) &&
             SUCCEEDED(oleWindow->GetWindow(&browser));
        if (ok && browser != browserWindow_.get()) {
            unsubclass();
            browserWindow_.release();  // the previous one, if any, is the browser's to keep
            browserWindow_.reset(browser);
        }
    }
    if (ok)
        ok = connectEvents();
    if (!ok)
        closeBrowser();
}

bool WebBrowser::createBrowser() {
    win::com_ptr<IUnknown> unknown;
    if (FAILED(CoCreateInstance(kClsidWebBrowser, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IUnknown, unknown.put_void())) ||
        !unknown)
        return false;
    win::com_ptr<IOleObject> ole;
    if (FAILED(unknown->QueryInterface(IID_IOleObject, ole.put_void())))
        return false;
    DWORD status = 0;
    if (SUCCEEDED(ole->GetMiscStatus(DVASPECT_CONTENT, &status)) && (status & OLEMISC_SETCLIENTSITEFIRST))
        ole->SetClientSite(static_cast<IOleClientSite*>(this));
    oleObject_ = std::move(ole);
    RECT client{0, 0, 0, 0};
    GetClientRect(host_, &client);
    if (FAILED(oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0,
                                  host_, &client)))
        return false;
    return SUCCEEDED(unknown->QueryInterface(kIidWebBrowser2, webBrowser_.put_void())) && webBrowser_;
}

bool WebBrowser::connectEvents() {
    disconnectEvents();
    win::com_ptr<IConnectionPointContainer> container;
    win::com_ptr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (FAILED(webBrowser_->QueryInterface(IID_IConnectionPointContainer, container.put_void())) ||
        FAILED(container->FindConnectionPoint(kDiidWebBrowserEvents2, point.put())) || !point ||
        FAILED(point->Advise(static_cast<DWebBrowserEvents2*>(this), &cookie)))
        return false;
    connectionPoint_ = std::move(point);
    adviseCookie_ = cookie;
    return true;
}

void WebBrowser::disconnectEvents() {
    if (connectionPoint_ && adviseCookie_)
        connectionPoint_->Unadvise(adviseCookie_);
    adviseCookie_ = 0;
    connectionPoint_.reset();
}

void WebBrowser::closeBrowser() {
    if (activeObject_) {
        leaveActiveObjects(activeObject_.get());
        activeObject_.reset();
    }
    unsubclass();
    disconnectEvents();
    if (oleObject_) {
        oleObject_->Close(OLECLOSE_NOSAVE);
        oleObject_->SetClientSite(nullptr);
        oleObject_.reset();
    }
    if (webBrowser_) {
        webBrowser_->Quit();
        webBrowser_.reset();
    }
    if (browserWindow_ && !IsWindow(browserWindow_.get()))
        browserWindow_.release();  // the browser destroyed it already
    browserWindow_.reset();
    inPlaceActive_ = false;
    placed_ = RECT{0, 0, 0, 0};
}

void WebBrowser::followBounds() {
    RECT r{0, 0, 0, 0};
    if (!oleObject_ || !inPlaceActive_ || !windowRect(&r) || sameRect(r, placed_))
        return;
    win::com_ptr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(oleObject_->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void())) &&
        SUCCEEDED(inPlace->SetObjectRects(&r, &r)))
        placed_ = r;
}

// ---- Subclassed browser window -------------------------------------------------------------------------

void WebBrowser::subclassInnermost() {
    HWND top = browserWindow_ ? ::GetWindow(browserWindow_.get(), GW_CHILD) : nullptr;
    HWND inner = top ? ::GetWindow(top, GW_CHILD) : nullptr;
    if (inner && SetWindowSubclass(inner, acceleratorProc, reinterpret_cast<UINT_PTR>(this), 0))
        subclassed_ = inner;
}

void WebBrowser::unsubclass() {
    if (subclassed_ && IsWindow(subclassed_))
        RemoveWindowSubclass(subclassed_, acceleratorProc, reinterpret_cast<UINT_PTR>(this));
    subclassed_ = nullptr;
}

LRESULT CALLBACK WebBrowser::acceleratorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR id, DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, acceleratorProc, id);
        if (auto* self = reinterpret_cast<WebBrowser*>(id); self->subclassed_ == window)
            self->subclassed_ = nullptr;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    MSG msg{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
    GetCursorPos(&msg.pt);
    // A translation may change the set; offer to a held copy.
    std::vector<IOleInPlaceActiveObject*> objects(activeObjects().begin(), activeObjects().end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    for (IOleInPlaceActiveObject* object : objects) object->AddRef();
    bool consumed = false;
    for (IOleInPlaceActiveObject* object : objects) {
        if (!consumed && object->TranslateAccelerator(&msg) == S_OK)
            consumed = true;
        object->Release();
    }
    if (consumed)
        return 0;
    if (message == WM_ERASEBKGND)
        return 1;
    return DefSubclassProc(window, message, wParam, lParam);
}

// ---- IUnknown ------------------------------------------------------------------------------------------

STDMETHODIMP WebBrowser::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        *out = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceSite))
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(iid, IID_IOleWindow))
        *out = static_cast<IOleInPlaceFrame*>(this);
    else if (IsEqualIID(iid, kIidDocHostUIHandler))
        *out = static_cast<IDocHostUIHandler*>(this);
    else if (IsEqualIID(iid, kDiidWebBrowserEvents2) || IsEqualIID(iid, IID_IDispatch))
        *out = static_cast<DWebBrowserEvents2*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) WebBrowser::AddRef() {
    return static_cast<ULONG>(++references_);
}

STDMETHODIMP_(ULONG) WebBrowser::Release() {
    const LONG left = --references_;
    if (left == 0 && treeReleased_)
        destroyNow();
    return static_cast<ULONG>(left);
}

// ---- Sites and frame -----------------------------------------------------------------------------------

STDMETHODIMP WebBrowser::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP WebBrowser::GetContainer(IOleContainer** container) {
    if (container)
        *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP WebBrowser::GetWindow(HWND* window) {
    if (!window)
        return E_INVALIDARG;
    *window = host_;
    return S_OK;
}

STDMETHODIMP WebBrowser::OnInPlaceActivate() {
    inPlaceActive_ = true;
    return S_OK;
}

STDMETHODIMP WebBrowser::OnInPlaceDeactivate() {
    inPlaceActive_ = false;
    return S_OK;
}

STDMETHODIMP WebBrowser::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                          LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) {
    if (!frame || !document || !position || !clip || !frameInfo)
        return E_INVALIDARG;
    *document = nullptr;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();  // the caller releases the frame it was given
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = host_;
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    RECT r{0, 0, 0, 0};
    windowRect(&r);
    *position = r;
    *clip = r;
    return S_OK;
}

STDMETHODIMP WebBrowser::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
    // The previous object leaves the set before the new one joins, so storing the same one again keeps it.
    if (activeObject_)
        leaveActiveObjects(activeObject_.get());
    activeObject_.reset();
    if (object) {
        object->AddRef();
        *activeObject_.put() = object;
        activeObjects().insert(object);
    }
    return S_OK;
}

// ---- Document host -------------------------------------------------------------------------------------

STDMETHODIMP WebBrowser::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info)
        return E_INVALIDARG;
    info->cbSize = sizeof(DOCHOSTUIINFO);
    info->dwFlags = kHostFlags;
    info->dwDoubleClick = 0;
    return S_OK;
}

STDMETHODIMP WebBrowser::GetExternal(IDispatch** dispatch) {
    if (dispatch)
        *dispatch = nullptr;
    return S_FALSE;
}

STDMETHODIMP WebBrowser::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
    if (translated)
        *translated = nullptr;
    return S_FALSE;
}

STDMETHODIMP WebBrowser::FilterDataObject(IDataObject*, IDataObject** filtered) {
    if (filtered)
        *filtered = nullptr;
    return S_FALSE;
}

// ---- Events --------------------------------------------------------------------------------------------

STDMETHODIMP WebBrowser::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                UINT*) {
    if (!subclassed_)
        subclassInnermost();
    switch (id) {
        case kBeforeNavigate2: {
            // BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel).
            const wchar_t* url = nullptr;
            const VARIANT* v = argument(params, 1);
            if (v && v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal && v->pvarVal->vt == VT_BSTR)
                url = v->pvarVal->bstrVal;
            if (host_)
                SendMessageW(host_, kBeforeNavigateMessage, reinterpret_cast<WPARAM>(url), 0);
            return S_OK;
        }
        case kNavigateComplete2:
            if (host_)
                PostMessageW(host_, kNavigateCompleteMessage, 0, 0);
            return S_OK;
        case kFileDownload: {
            // Cancel is the last argument.
            VARIANT* cancel = params && params->rgvarg && params->cArgs ? &params->rgvarg[0] : nullptr;
            if (cancel && cancel->vt == (VT_BYREF | VT_BOOL) && cancel->pboolVal)
                *cancel->pboolVal = VARIANT_TRUE;
            return S_OK;
        }
        default:
            return E_NOTIMPL;
    }
}

void registerWebBrowserCreators(duiFactory::ControlCreatorRegistry& registry) {
    registry.add<WebBrowser>(L"WebBrowser");
}
