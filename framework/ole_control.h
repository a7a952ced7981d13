#pragma once
// Hosting of one OLE control (an ActiveX control such as the WebBrowser) in a
// window: the framework's control container and control site.
//
// fw::OleControl creates the control on the calling thread through
// CoGetClassObject and the class factory (so a per-thread redirection of
// class objects applies), gives it a client site, activates it in place as a
// child window of the parent, and keeps it sized. The site answers the
// control's questions: its window, its in-place frame, the ambient
// properties (through the site's IDispatch) and any interface the owner adds
// (for a document host handler, say).
//
// Threads: create, use and destroy an OleControl on one thread, which has
// OLE initialised; the control and the site live in that thread's apartment.
// Lifetime: Destroy (also run by the destructor) undoes, in reverse order and
// from one place, every connection made with Advise, the in-place activation,
// the control's client site and the control itself. The owner must outlive
// the OleControl or call Destroy first.
// Errors: COM-facing operations return HRESULTs; nothing throws.
//
//   fw::OleControl browser;
//   if (SUCCEEDED(browser.Create(CLSID_WebBrowser, dialog, rect, 1000, &owner)))
//       browser.Advise(DIID_DWebBrowserEvents2, sink, nullptr);
#include "com_ptr.h"

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <vector>

namespace fw {

// What a control's site asks its owner. Called on the control's thread.
class OleControlSiteOwner {
public:
    // An ambient property (DISPID_AMBIENT_...) into `value`; false when the
    // owner has none, and the site then answers DISP_E_MEMBERNOTFOUND.
    virtual bool OnAmbientProperty(DISPID /*id*/, VARIANT* /*value*/) { return false; }
    // An extra interface of the site (it shares the site's identity: its
    // QueryInterface, AddRef and Release must go to `site`); E_NOINTERFACE
    // when the owner adds none.
    virtual HRESULT QuerySiteInterface(IUnknown* /*site*/, REFIID /*iid*/, void** /*out*/) { return E_NOINTERFACE; }

protected:
    ~OleControlSiteOwner() = default;
};

class OleControlSite;

class OleControl {
public:
    OleControl();
    ~OleControl();
    OleControl(const OleControl&) = delete;
    OleControl& operator=(const OleControl&) = delete;

    // Creates control `clsid` as child window `id` of `parent` at `rect`
    // (client coordinates) and activates it in place. On failure nothing
    // remains. E_UNEXPECTED when a control is already hosted.
    [[nodiscard]] HRESULT Create(REFCLSID clsid, HWND parent, const RECT& rect, UINT id,
                                 OleControlSiteOwner* owner);
    // Creates the control in place of the placeholder control `id` of a
    // dialog (a hidden static of the template that marks where the control
    // goes): the placeholder makes way, the control takes its id and place.
    // E_INVALIDARG when the dialog has no such control.
    [[nodiscard]] HRESULT CreateInPlaceOf(HWND dialog, UINT id, REFCLSID clsid, OleControlSiteOwner* owner);
    // Connects `sink` to the control's connection point `iid`; the cookie is
    // kept for Destroy and also stored in `*cookie` when asked for.
    [[nodiscard]] HRESULT Advise(REFIID iid, IUnknown* sink, DWORD* cookie);
    // Moves the control (client coordinates of the parent) and repaints.
    void Move(const RECT& rect);
    // Offers a key message to the active control; true when it consumed it.
    bool TranslateAccelerator(MSG& msg);
    // Disconnects, deactivates, closes and releases the control.
    void Destroy();

    bool IsCreated() const { return static_cast<bool>(m_object); }
    // The control's window, or null.
    HWND Window() const;
    IUnknown* Control() const { return m_object.get(); }
    // Another interface of the control.
    template <typename I>
    HRESULT Query(REFIID iid, ComPtr<I>& out) const {
        return m_object.As(iid, out);
    }

private:
    struct Connection {
        ComPtr<IConnectionPoint> point;
        DWORD cookie;
    };
    ComPtr<IOleObject> m_object;
    ComPtr<OleControlSite> m_site;
    std::vector<Connection> m_connections;
};

} // namespace fw
