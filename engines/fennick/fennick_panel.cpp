// A stand-in developer toolbar: the panel object a browser tab hosts on the
// left of its page. Its panel window lists the tab's document as a tree of
// elements (tag name, with the id after '#'), read again each time the
// panel is shown; "show source" opens a window of its own with the markup
// of the page as the engine holds it.
//
// The host creates the object in process on its tab's thread and calls it
// only there (apartment threading). The object's windows belong to that
// thread: the panel window is a child of the host's window; source windows
// are top-level windows owned by the host's main window, closed with the
// panel.
//
// The host's contract, by slot: Initialize (3), two slots it never calls
// (4, 5), SetMainWindow (6), SetEngineModule (7), Close (8), Start (9),
// ShowSource (10); plus the shell's IDockingWindow for the panel window.
// The contract is the program's own declaration (contracts/), the one
// header of the program the component includes.
#include "contracts/fennick_panel.h"

#include <windows.h>

#include <commctrl.h>
#include <exdisp.h>
#include <mshtml.h>
#include <shobjidl.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

namespace {

// The component's class and panel interface, as the contract names them.
constexpr const CLSID& kClsidPanel = CLSID_FennickPanel;
constexpr const IID& kIidPanel = IID_IFennickPanel;
constexpr IID kIidDockingWindow = {0x012DD920, 0x7B26, 0x11D0, {0x8C, 0xA9, 0x00, 0xA0, 0xC9, 0x2D, 0xBF, 0xE8}};
constexpr IID kIidOleWindow = {0x00000114, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr const wchar_t* kClsidText = L"{6F1E3A52-9C2B-4D7E-A5B1-3C8D2E4F1A60}";
constexpr const wchar_t* kPanelClass = L"FennickPanelWindow";
constexpr const wchar_t* kSourceClass = L"FennickSourceWindow";
// The tree shows at most this many elements and this depth.
constexpr int kMaxNodes = 5000;
constexpr int kMaxDepth = 64;

HMODULE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

using IPanel = IFennickPanel;

template <typename T>
void Drop(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

// Version names as the host numbers them (5.5, 6, 7, 8, 9, the system's).
const wchar_t* VersionName(DWORD v) {
    static const wchar_t* names[] = {L"4", L"5", L"5.5", L"6", L"7", L"8", L"9", L"default"};
    return v < sizeof(names) / sizeof(names[0]) ? names[v] : L"?";
}

IHTMLDocument2* DocumentOf(IWebBrowser2* browser) {
    IDispatch* d = nullptr;
    IHTMLDocument2* doc = nullptr;
    if (browser && SUCCEEDED(browser->get_Document(&d)) && d) {
        d->QueryInterface(__uuidof(IHTMLDocument2), reinterpret_cast<void**>(&doc));
        d->Release();
    }
    return doc;
}

// The outermost element of the document: the body's highest ancestor.
IHTMLElement* RootElement(IHTMLDocument2* doc) {
    IHTMLElement* e = nullptr;
    if (!doc || FAILED(doc->get_body(&e)) || !e) return nullptr;
    for (int guard = 0; guard < kMaxDepth; ++guard) {
        IHTMLElement* parent = nullptr;
        if (FAILED(e->get_parentElement(&parent)) || !parent) break;
        e->Release();
        e = parent;
    }
    return e;
}

std::wstring Label(IHTMLElement* e) {
    BSTR tag = nullptr, id = nullptr;
    e->get_tagName(&tag);
    e->get_id(&id);
    std::wstring out = Text(tag);
    if (id && SysStringLen(id)) out += L" #" + Text(id);
    SysFreeString(tag);
    SysFreeString(id);
    return out;
}

class Panel final : public IDispatch, public IPanel, public IDockingWindow {
public:
    Panel() { InterlockedIncrement(&g_objects); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) *out = static_cast<IDispatch*>(this);
        else if (IsEqualIID(iid, kIidPanel)) *out = static_cast<IPanel*>(this);
        else if (IsEqualIID(iid, kIidDockingWindow) || IsEqualIID(iid, kIidOleWindow))
            *out = static_cast<IDockingWindow*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }

    // IDispatch: the object is created for it, no member is callable by name.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    // The panel interface.
    STDMETHODIMP Initialize(HWND parent, IWebBrowser2* browser, DWORD version, BSTR* title) override {
        if (!parent || !browser || !title) return E_INVALIDARG;
        if (m_hWnd) return E_UNEXPECTED;
        m_hWnd = CreateWindowExW(WS_EX_CLIENTEDGE, kPanelClass, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 200, 200,
                                 parent, nullptr, g_module, this);
        if (!m_hWnd) return HRESULT_FROM_WIN32(GetLastError());
        m_hTree = CreateWindowExW(0, WC_TREEVIEWW, L"",
                                  WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                      TVS_SHOWSELALWAYS,
                                  0, 0, 200, 200, m_hWnd, nullptr, g_module, nullptr);
        m_pBrowser = browser;
        m_pBrowser->AddRef();
        m_nVersion = version;
        std::wstring name = std::wstring(L"Document tree (IE ") + VersionName(version) + L")";
        *title = SysAllocString(name.c_str());
        return S_OK;
    }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP SetMainWindow(HWND mainWindow) override {
        m_hWndMain = mainWindow;
        return S_OK;
    }
    STDMETHODIMP SetEngineModule(HMODULE) override { return S_OK; }
    STDMETHODIMP Close() override {
        for (HWND w : m_sources)
            if (IsWindow(w)) DestroyWindow(w);
        m_sources.clear();
        if (m_hWnd) DestroyWindow(m_hWnd);
        m_hWnd = m_hTree = nullptr;
        Drop(m_pBrowser);
        return S_OK;
    }
    STDMETHODIMP Start() override {
        FillTree();
        return S_OK;
    }
    STDMETHODIMP ShowSource(LONG) override {
        IHTMLDocument2* doc = DocumentOf(m_pBrowser);
        IHTMLElement* root = RootElement(doc);
        BSTR markup = nullptr, url = nullptr;
        if (root) root->get_outerHTML(&markup);
        if (m_pBrowser) m_pBrowser->get_LocationURL(&url);
        Drop(root);
        Drop(doc);
        // The edit control wants Windows line ends.
        std::wstring source;
        for (wchar_t c : Text(markup)) {
            if (c == L'\n') source += L'\r';
            if (c != L'\r') source += c;
        }
        const std::wstring caption = L"Source - " + Text(url);
        SysFreeString(markup);
        SysFreeString(url);
        HWND owner = m_hWndMain && IsWindow(m_hWndMain) ? m_hWndMain : nullptr;
        HWND window = CreateWindowExW(0, kSourceClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 640, 480, owner, nullptr, g_module, nullptr);
        if (!window) return HRESULT_FROM_WIN32(GetLastError());
        HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", source.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                                        ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                    0, 0, 0, 0, window, nullptr, g_module, nullptr);
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
        RECT client{};
        GetClientRect(window, &client);
        MoveWindow(edit, 0, 0, client.right, client.bottom, FALSE);
        ShowWindow(window, SW_SHOWNORMAL);
        m_sources.push_back(window);
        return S_OK;
    }

    // IOleWindow and IDockingWindow
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out) return E_POINTER;
        *out = m_hWnd;
        return m_hWnd ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP ShowDW(BOOL show) override {
        if (!m_hWnd) return E_UNEXPECTED;
        // The page may have changed while the panel was hidden.
        if (show) FillTree();
        ShowWindow(m_hWnd, show ? SW_SHOW : SW_HIDE);
        return S_OK;
    }
    STDMETHODIMP CloseDW(DWORD) override { return Close(); }
    STDMETHODIMP ResizeBorderDW(LPCRECT, IUnknown*, BOOL) override { return E_NOTIMPL; }

    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_SIZE) {
            if (HWND tree = ::GetWindow(hwnd, GW_CHILD)) MoveWindow(tree, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    static LRESULT CALLBACK SourceProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_SIZE) {
            if (HWND edit = ::GetWindow(hwnd, GW_CHILD)) MoveWindow(edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

private:
    ~Panel() {
        Close();
        InterlockedDecrement(&g_objects);
    }

    void FillTree() {
        if (!m_hTree) return;
        SendMessageW(m_hTree, WM_SETREDRAW, FALSE, 0);
        TreeView_DeleteAllItems(m_hTree);
        IHTMLDocument2* doc = DocumentOf(m_pBrowser);
        IHTMLElement* root = RootElement(doc);
        int count = 0;
        if (root) AddElement(root, TVI_ROOT, 0, count);
        Drop(root);
        Drop(doc);
        SendMessageW(m_hTree, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_hTree, nullptr, TRUE);
    }

    void AddElement(IHTMLElement* e, HTREEITEM parent, int depth, int& count) {
        if (count >= kMaxNodes || depth >= kMaxDepth) return;
        ++count;
        std::wstring label = Label(e);
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = label.data();
        HTREEITEM item = TreeView_InsertItem(m_hTree, &insert);
        if (!item) return;
        IDispatch* childrenDispatch = nullptr;
        IHTMLElementCollection* children = nullptr;
        long length = 0;
        if (SUCCEEDED(e->get_children(&childrenDispatch)) && childrenDispatch &&
            SUCCEEDED(childrenDispatch->QueryInterface(__uuidof(IHTMLElementCollection),
                                                       reinterpret_cast<void**>(&children))) &&
            children && SUCCEEDED(children->get_length(&length))) {
            for (long i = 0; i < length; ++i) {
                VARIANT index, none;
                VariantInit(&index);
                VariantInit(&none);
                index.vt = VT_I4;
                index.lVal = i;
                IDispatch* childDispatch = nullptr;
                IHTMLElement* child = nullptr;
                if (SUCCEEDED(children->item(index, none, &childDispatch)) && childDispatch &&
                    SUCCEEDED(childDispatch->QueryInterface(__uuidof(IHTMLElement), reinterpret_cast<void**>(&child))) &&
                    child)
                    AddElement(child, item, depth + 1, count);
                Drop(child);
                Drop(childDispatch);
            }
        }
        Drop(children);
        Drop(childrenDispatch);
        TreeView_Expand(m_hTree, item, TVE_EXPAND);
    }

    LONG m_refs = 1;
    HWND m_hWnd = nullptr;
    HWND m_hTree = nullptr;
    HWND m_hWndMain = nullptr;
    IWebBrowser2* m_pBrowser = nullptr;
    DWORD m_nVersion = 0;
    std::vector<HWND> m_sources;
};

void RegisterClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW panel{};
    panel.lpfnWndProc = &Panel::PanelProc;
    panel.hInstance = g_module;
    panel.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    panel.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    panel.lpszClassName = kPanelClass;
    RegisterClassW(&panel);
    WNDCLASSW source = panel;
    source.lpfnWndProc = &Panel::SourceProc;
    source.lpszClassName = kSourceClass;
    RegisterClassW(&source);
}

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        RegisterClasses();
        Panel* panel = new (std::nothrow) Panel();
        if (!panel) return E_OUTOFMEMORY;
        HRESULT hr = panel->QueryInterface(iid, out);
        panel->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

Factory g_factory;

std::wstring ClassKey() { return std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText; }

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kClsidPanel)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

// Registers the class for the whole machine, as an installer would.
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return E_FAIL;
    HKEY key = nullptr;
    const std::wstring server = ClassKey() + L"\\InprocServer32";
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    rc = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), (n + 1) * sizeof(wchar_t));
    static const wchar_t kApartment[] = L"Apartment";
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(kApartment),
                            sizeof(kApartment));
    RegCloseKey(key);
    return HRESULT_FROM_WIN32(rc);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const LONG rc = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey().c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}
