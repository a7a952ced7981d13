#pragma once
// The stand-in WebBrowser control object. One object answers the control's
// interfaces; its window shows the current page; pages load on a worker
// thread and their events fire on the control's own thread.
#include "engines/browser/com_util.h"
#include "engines/browser/dom.h"
#include "engines/browser/loader.h"
#include "engines/browser/page.h"
#include "engines/browser/script.h"
#include "engines/standin.h"

#include "standin_stubs.h"

#include <exdisp.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <ocidl.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

// {8856F961-340A-11D0-A96B-00C04FD705A2}
inline constexpr CLSID kClsidWebBrowser = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
// {34A715A0-6587-11D0-924A-0020AFC7AC4D}
inline constexpr IID kDiidWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
// {EAB22AC2-30C1-11CF-A7EB-0000C05BAE0B}
inline constexpr IID kDiidWebBrowserEvents = {
    0xEAB22AC2, 0x30C1, 0x11CF, {0xA7, 0xEB, 0x00, 0x00, 0xC0, 0x5B, 0xAE, 0x0B}};
// {DE4BA900-59CA-11CF-9592-444553540000}
inline constexpr GUID kCgidMshtml = {
    0xDE4BA900, 0x59CA, 0x11CF, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {BD3F23C0-D43E-11CF-893B-00AA00BDCE1A}
inline constexpr IID kIidDocHostUIHandler = {
    0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};

class WebBrowser;

// Private messages of the control's windows.
inline constexpr UINT kLoadedMessage = WM_APP + 0x31;  // wParam: load sequence
inline constexpr UINT kCloseMessage = WM_APP + 0x32;   // the page closed its window
inline constexpr UINT kScrolledMessage = WM_APP + 0x33;  // the page scrolled: fire onscroll
// The registered message by which another process (a test of the program
// that hosts the control) reads the page's vertical scroll from the
// control's window: wParam 0 answers the position, 1 the largest position,
// in pixels. A real engine's scroll bar is read with GetScrollInfo, which
// does not reach into another process under Wine.
inline constexpr wchar_t kScrollQueryMessageName[] = L"StandInWebBrowserScrollQuery";
inline constexpr long kProgressMax = 10000;

// The library holding this code, and its window classes (control_window.cpp).
HMODULE ThisModule();
HWND CreateNotifyWindow(WebBrowser* owner);
std::wstring VersionName(int version);  // "5.5", "6", ...

// One outgoing event interface of the control.
class ConnectionPoint final : public IConnectionPointStubs {
public:
    ConnectionPoint(WebBrowser& owner, REFIID iid) : owner_(owner), iid_(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;

    const IID& Iid() const { return iid_; }
    // The connected sinks, for one event.
    std::vector<ComPtr<IDispatch>> Sinks() const;
    void Clear() { sinks_.clear(); }

private:
    WebBrowser& owner_;
    IID iid_;
    DWORD nextCookie_ = 1;
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
};

// A load running on a worker thread. The worker fills `result` and sets
// `done` before it posts its completion; the control reads them after.
struct LoadJob {
    unsigned sequence = 0;
    std::wstring url;
    int version = 8;
    DWORD downloadFlags = 0;
    bool refresh = false;       // a reload of the page on display
    bool historyMove = false;   // back or forward: the history keeps its entries
    int historyTarget = -1;     // the history index a back or forward goes to
    // A frame's navigation: the path of frame indexes from the top page to
    // the frame, and the top page it belongs to. Empty for the top page.
    std::vector<std::size_t> framePath;
    std::shared_ptr<Page> top;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    LoadResult result;
};

class WebBrowser final : public LiveObject,
                         public IWebBrowser2Stubs,
                         public IOleObjectStubs,
                         public IOleInPlaceObjectStubs,
                         public IOleInPlaceActiveObjectStubs,
                         public IOleControlStubs,
                         public IPersistStreamInitStubs,
                         public IViewObject2Stubs,
                         public IConnectionPointContainerStubs,
                         public IOleCommandTargetStubs,
                         public IStandInObject,
                         private ScriptHost {
public:
    WebBrowser(int version, REFCLSID requested);
    ~WebBrowser() override;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch (IWebBrowser2 through dispatch identifiers)
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argError) override;

    // IWebBrowser, IWebBrowserApp, IWebBrowser2
    HRESULT STDMETHODCALLTYPE GoBack() override;
    HRESULT STDMETHODCALLTYPE GoForward() override;
    HRESULT STDMETHODCALLTYPE GoHome() override;
    HRESULT STDMETHODCALLTYPE GoSearch() override;
    HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* postData,
                                       VARIANT* headers) override;
    HRESULT STDMETHODCALLTYPE Refresh() override;
    HRESULT STDMETHODCALLTYPE Refresh2(VARIANT* level) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE get_Application(IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_Parent(IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_Container(IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_TopLevelContainer(VARIANT_BOOL* out) override;
    HRESULT STDMETHODCALLTYPE get_Type(BSTR* out) override;
    HRESULT STDMETHODCALLTYPE get_Left(LONG* out) override;
    HRESULT STDMETHODCALLTYPE get_Top(LONG* out) override;
    HRESULT STDMETHODCALLTYPE get_Width(LONG* out) override;
    HRESULT STDMETHODCALLTYPE get_Height(LONG* out) override;
    HRESULT STDMETHODCALLTYPE get_LocationName(BSTR* out) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* out) override;
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* out) override;
    HRESULT STDMETHODCALLTYPE PutProperty(BSTR name, VARIANT value) override;
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR name, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* out) override;
    HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* out) override;
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* out) override;
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target,
                                        VARIANT* postData, VARIANT* headers) override;
    HRESULT STDMETHODCALLTYPE QueryStatusWB(OLECMDID command, OLECMDF* status) override;
    HRESULT STDMETHODCALLTYPE ExecWB(OLECMDID command, OLECMDEXECOPT option, VARIANT* in,
                                     VARIANT* out) override;
    HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* out) override;
    HRESULT STDMETHODCALLTYPE get_Offline(VARIANT_BOOL* out) override;
    HRESULT STDMETHODCALLTYPE put_Offline(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* out) override;
    HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_RegisterAsBrowser(VARIANT_BOOL* out) override;
    HRESULT STDMETHODCALLTYPE put_RegisterAsBrowser(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_RegisterAsDropTarget(VARIANT_BOOL* out) override;
    HRESULT STDMETHODCALLTYPE put_RegisterAsDropTarget(VARIANT_BOOL value) override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent,
                                     LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** out) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override;
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override;

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

    // IPersist, IPersistStreamInit
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;

    // IViewObject, IViewObject2
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectData,
                                   DVTARGETDEVICE* device, HDC targetDc, HDC dc,
                                   LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                   ULONG_PTR) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                        LPSIZEL size) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    // IOleCommandTarget
    HRESULT STDMETHODCALLTYPE QueryStatus(const GUID* group, ULONG count, OLECMD* commands,
                                          OLECMDTEXT* text) override;
    HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD option, VARIANT* in,
                                   VARIANT* out) override;

    // IStandInObject
    HRESULT STDMETHODCALLTYPE GetOrigin(BSTR* moduleFileName) override;
    HRESULT STDMETHODCALLTYPE GetClassId(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE GetVersionCode(WCHAR* code) override;

    // Window procedure helpers (control_window.cpp).
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleNotifyMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    friend class ConnectionPoint;

    IDispatch* Self() { return static_cast<IWebBrowser2*>(this); }

    // Navigation (control_navigation.cpp)
    HRESULT StartNavigation(const std::wstring& address, const std::wstring& targetFrame,
                            bool historyMove, int historyTarget);
    void StartLoad(const std::wstring& url, bool refresh, bool historyMove, int historyTarget);
    void CancelLoad();
    void FinishLoad(unsigned sequence);
    void ShowPage(std::shared_ptr<Page> page);
    void ShowErrorPage(const std::wstring& url, const Response& response);
    std::wstring ErrorMarkup(const std::wstring& url, const Response& response) const;
    // A new load replacing any running one, with the host's current settings.
    std::shared_ptr<LoadJob> BeginJob(const std::wstring& url);
    void StartWorker(const std::shared_ptr<LoadJob>& job);
    void ReadHostSettings();
    DWORD AmbientDownloadFlags();
    void OpenLink(const Page& page, std::size_t link);
    void OpenNewWindow(const std::wstring& url, const std::wstring& target);
    // Frames of the page on display (control_navigation.cpp).
    Page* FrameAt(const std::vector<std::size_t>& path) const;
    ComPtr<IDispatch> FrameDispatch(const std::vector<std::size_t>& path) const;
    void NavigateFrame(const std::vector<std::size_t>& path, const std::wstring& url);
    void FinishFrameLoad(LoadJob& job);
    void UpdateCommandStates();
    std::wstring Title() const;
    bool ScriptsAllowed() const { return (downloadFlags_ & DLCTL_NO_SCRIPTS) == 0; }
    bool RunPageScript(const std::wstring& code);

    // ScriptHost
    void CloseWindow() override;
    void OpenWindow(const std::wstring& url) override;
    void Alert(const std::wstring& text) override;
    void Navigate(const std::wstring& url) override;
    HRESULT CallExternal(const std::wstring& name, std::vector<VARIANT>& args,
                         std::wstring* error) override;
    void ScriptError(const std::wstring& message) override;
    // Reports a script error to the host as an engine does: Exec of
    // OLECMDID_SHOWSCRIPTERROR on the client site's IOleCommandTarget with
    // the document, window.event answering the error's details meanwhile.
    // The status text says "Error on page" either way, as in the engine's
    // status bar; a host that answers S_OK has taken the place of the error
    // dialog (which the stand-in does not show).
    void ReportScriptError(const std::wstring& message, long line, long character, const std::wstring& url);

    // Events (control_events.cpp). Arguments in source order; each is fired
    // to the sinks of one connection point.
    void Fire(ConnectionPoint& point, DISPID id, std::vector<VARIANT>& args);
    bool FireBeforeNavigate(IDispatch* source, const std::wstring& url, const std::wstring& target);
    void FireNavigateComplete(IDispatch* source, const std::wstring& url);
    void FireDocumentComplete(IDispatch* source, const std::wstring& url);
    bool FireNavigateError(IDispatch* source, const std::wstring& url, const std::wstring& frame,
                           long status);
    void FireStatusText(const std::wstring& text);
    void FireTitle(const std::wstring& title);
    void FireProgress(long progress, long maximum);
    void FireDownloadBegin();
    void FireDownloadComplete();
    void FireCommandState(long command, bool enabled);
    bool FireNewWindow(const std::wstring& url, const std::wstring& target);
    bool FireNewWindow2(IDispatch** browser);
    bool FireWindowClosing();

    // Window (control_window.cpp)
    bool CreateControlWindow(HWND parent, const RECT& position);
    void DestroyControlWindow();
    HRESULT InPlaceActivate(IOleClientSite* site, bool uiActivate);
    void Paint(HDC dc, const RECT& client);
    void UpdateScrollBar();
    // Scrolls the page to `y` (clamped); a change fires the window's
    // onscroll afterwards, from the thread's messages, as an engine does.
    void ScrollTo(int y);
    // The height of the page's content, laid out for the window's width
    // when no paint has laid out the page on display yet.
    int ContentHeight();
    DocumentContext::Viewport Viewport();
    void FireWindowScroll();
    const PageHit* HitTest(POINT point) const;
    void ShowContextMenu(POINT screen);

    // Commands (control_commands.cpp)
    bool AskUnload();
    HRESULT Print(bool prompt);
    HRESULT PrintPreview();

    LONG refs_ = 1;
    int version_;
    CLSID requestedClsid_;
    ConnectionPoint events2_;
    ConnectionPoint events_;

    ComPtr<IOleClientSite> site_;
    ComPtr<IOleInPlaceSite> inPlaceSite_;
    ComPtr<IDocHostUIHandler> uiHandler_;
    ComPtr<IOleInPlaceFrame> frame_;
    ComPtr<IAdviseSink> oleAdvise_;
    ComPtr<IAdviseSink> viewAdvise_;
    DWORD viewAdviseAspects_ = 0;
    DWORD viewAdviseFlags_ = 0;

    HWND window_ = nullptr;   // the in-place window showing the page
    HWND notify_ = nullptr;   // message-only window receiving load completions
    RECT position_{0, 0, 0, 0};
    SIZEL extent_{7938, 5292};  // HIMETRIC; 300 x 200 pixels at 96 dpi
    bool uiActive_ = false;
    bool visible_ = true;
    bool silent_ = false;
    bool offline_ = false;
    bool registerAsBrowser_ = false;
    bool registerAsDropTarget_ = true;
    bool eventsFrozen_ = false;
    DWORD hostFlags_ = 0;        // DOCHOSTUIINFO flags of the last load
    DWORD downloadFlags_ = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS;
    std::map<std::wstring, VARIANT> properties_;  // PutProperty values, cleared at destruction

    std::shared_ptr<Page> page_;
    std::shared_ptr<DocumentContext> context_;
    ComPtr<IHTMLDocument2> document_;
    std::wstring url_;
    int textSizeLevel_ = 2;
    int scroll_ = 0;
    int contentHeight_ = 0;
    bool contentMeasured_ = false;  // contentHeight_ is the page on display's
    bool scrollEventPending_ = false;
    std::vector<PageHit> hits_;
    const PageHit* hover_ = nullptr;
    std::wstring statusText_;

    std::vector<std::wstring> history_;
    int historyIndex_ = -1;

    std::shared_ptr<LoadJob> job_;
    unsigned nextSequence_ = 1;
    READYSTATE readyState_ = READYSTATE_UNINITIALIZED;
};

}  // namespace standin
