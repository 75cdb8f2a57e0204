// WebBrowser: hosts the system's HTML browser object (CLSID_WebBrowser) in place over the control's
// area. The control paints only its style, as any Control. It is the browser's OLE container (client
// site, in-place site, in-place frame, document-host UI handler and DWebBrowserEvents2 sink, all on
// this one object with one reference count). When it joins a window (Attached) it creates and
// activates the browser; any failure leaves a sound empty control. Navigation is reported to the host window:
// BeforeNavigate2 sends kBeforeNavigateMessage (wParam: the URL, valid during the send), NavigateComplete2
// posts kNavigateCompleteMessage; file downloads are always cancelled. UI thread only, in an apartment
// initialised with OleInitialize.
//
// Lifetime: the tree deletes the control while the browser may still hold references to its
// interfaces. `delete` (a destroying delete) first shuts the browser down (unadvise, close, client site
// cleared, Quit, window destroyed); when no COM reference is left the object is destroyed at once,
// otherwise it leaves its window and its tree (not live, out of the id map, host window, parent,
// siblings and script table forgotten) and is destroyed by the Release that drops the last
// reference. Nothing touches the control after either side let go.
//
// Geometry: the browser window follows the control's window rectangle whenever the control paints
// (the window repaints everything it lays out again). IOleContainer is not implemented:
// GetContainer and QueryInterface answer E_NOINTERFACE.
//
// The innermost browser window is subclassed per window (SetWindowSubclass), so several browsers never
// share a saved window procedure: its messages are first offered to the process-wide set of active
// in-place objects (IOleInPlaceActiveObject::TranslateAccelerator), WM_ERASEBKGND answers 1, and the rest
// reach that window's own procedure.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <mshtmhst.h>
#include <cstddef>
#include <new>

#include "dui/control.h"
#include "host/handles.h"

namespace duiFactory {
class ControlCreatorRegistry;
}

class WebBrowser : public Control,
                   public IOleClientSite,
                   public IOleInPlaceSite,
                   public IOleInPlaceFrame,
                   public IDocHostUIHandler,
                   public DWebBrowserEvents2 {
  public:
    static constexpr UINT kBeforeNavigateMessage = WM_USER + 102;
    static constexpr UINT kNavigateCompleteMessage = WM_USER + 103;
    static constexpr DISPID kBeforeNavigate2 = 250;
    static constexpr DISPID kNavigateComplete2 = 252;
    static constexpr DISPID kFileDownload = 270;

    WebBrowser();
    // Runs once the last owner (tree or COM) let go; see Lifetime above.
    ~WebBrowser() override;
    static void operator delete(WebBrowser* self, std::destroying_delete_t);
    // Only for a construction that throws; the allocator answers null instead, so never in practice.
    static void operator delete(void* block) noexcept { dui::SmallObject::operator delete(block); }

    const wchar_t* typeName() const override { return L"Control"; }
    // Paints as a Control (its "style"), then moves the browser window when the rectangle changed.
    void paint(HDC dc, const RECT& rect, const RECT& clip) override;

    // ---- State (for the owner and tests) --------------------------------------------------------
    bool hasBrowser() const { return static_cast<bool>(webBrowser_); }
    HWND hostWindow() const { return host_; }
    HWND browserWindow() const { return browserWindow_.get(); }
    // The innermost browser window once subclassed, else null.
    HWND subclassedWindow() const { return subclassed_; }
    bool inPlaceActive() const { return inPlaceActive_; }
    bool eventsConnected() const { return static_cast<bool>(connectionPoint_); }
    LONG references() const { return references_; }
    // The process-wide set of active in-place objects: one entry per control that stored an object.
    static std::size_t activeObjectCount();
    static bool isActiveObject(IOleInPlaceActiveObject* object);

    // ---- IUnknown (one count for every interface) -----------------------------------------------
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // ---- IOleClientSite -------------------------------------------------------------------------
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // ---- IOleWindow (in-place site and frame) ---------------------------------------------------
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // ---- IOleInPlaceSite ------------------------------------------------------------------------
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO frameInfo) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return E_NOTIMPL; }

    // ---- IOleInPlaceUIWindow / IOleInPlaceFrame -------------------------------------------------
    STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return E_NOTIMPL; }
    // Shared by the frame and the UI handler: both answer S_OK.
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return E_NOTIMPL; }

    // ---- IDocHostUIHandler ----------------------------------------------------------------------
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return S_FALSE; }
    STDMETHODIMP GetExternal(IDispatch** dispatch) override;
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override;
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override;

    // ---- DWebBrowserEvents2 ---------------------------------------------------------------------
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

  private:
    static void onAttached(void* context, Control* sender, EventRecord& event);
    void attachBrowser();
    bool createBrowser();
    bool connectEvents();
    void disconnectEvents();
    // Lets go of everything the browser gave or took; the control stays, empty.
    void closeBrowser();
    void subclassInnermost();
    void unsubclass();
    void followBounds();
    void destroyNow();
    static LRESULT CALLBACK acceleratorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data);

    HWND host_ = nullptr;
    win::com_ptr<IWebBrowser2> webBrowser_;
    win::com_ptr<IConnectionPoint> connectionPoint_;
    win::com_ptr<IOleObject> oleObject_;
    win::com_ptr<IOleInPlaceActiveObject> activeObject_;  // its own reference, and a set member
    DWORD adviseCookie_ = 0;
    LONG references_ = 0;
    bool inPlaceActive_ = false;
    bool treeReleased_ = false;
    win::unique_hwnd browserWindow_;
    HWND subclassed_ = nullptr;  // the browser's own window; the subclass is removed, never the window
    RECT placed_{0, 0, 0, 0};    // where the browser window was last put (host client coordinates)
};

// Adds "WebBrowser".
void registerWebBrowserCreators(duiFactory::ControlCreatorRegistry& registry);
