#include "tab_scroll.h"

#include "browser/dialog_wb_container.h"
#include "core/messages.h"
#include "framework/com_object.h"

#include <mshtmdid.h>

#include <algorithm>
#include <span>

namespace {
// {3050F625-98B5-11CF-BB82-00AA00BDCE0B}: the events of a page's window.
constexpr IID kDiidHtmlWindowEvents2 = {0x3050F625, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

long RangeOf(long scrollSize, long clientSize) { return std::max(scrollSize - clientSize, 0L); }
} // namespace

// The sink of the window's events; it hands onscroll to its part while the
// part is there.
class CTabScroll::WindowEvents final : public fw::DispatchObject<WindowEvents, IDispatch> {
public:
    explicit WindowEvents(CTabScroll* owner) : m_pOwner(owner) {}
    void Detach() { m_pOwner = nullptr; }

    std::span<const fw::DispatchName> DispatchNames() const override { return kNames; }
    HRESULT OnInvoke(DISPID id, WORD, DISPPARAMS*, VARIANT*, UINT*) override {
        if (id == DISPID_HTMLWINDOWEVENTS2_ONSCROLL && m_pOwner) m_pOwner->OnScroll();
        return S_OK;
    }

protected:
    // The engine may ask for the event interface itself.
    HRESULT QueryOtherInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, kDiidHtmlWindowEvents2)) return E_NOINTERFACE;
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }

private:
    static constexpr fw::DispatchName kNames[] = {{L"onscroll", DISPID_HTMLWINDOWEVENTS2_ONSCROLL}};
    CTabScroll* m_pOwner;
};

CTabScroll::CTabScroll(CDialogWBContainer& dialog) : CTabContentPart(dialog) {}

CTabScroll::~CTabScroll() { Disconnect(); }

std::uint32_t CTabScroll::PartsOf(long offset, long range) {
    if (range <= 0 || offset <= 0) return 0;
    if (offset >= range) return kScrollPartsMax;
    return static_cast<std::uint32_t>(static_cast<long long>(offset) * kScrollPartsMax / range);
}

long CTabScroll::OffsetOf(std::uint32_t parts, long range) {
    if (range <= 0) return 0;
    if (parts >= kScrollPartsMax) return range;
    // Rounded to the nearest pixel.
    return static_cast<long>((static_cast<long long>(parts) * range + kScrollPartsMax / 2) / kScrollPartsMax);
}

void CTabScroll::Disconnect() {
    if (m_pSink) m_pSink->Detach();
    if (m_pPoint && m_dwCookie) (void)m_pPoint->Unadvise(m_dwCookie);
    m_dwCookie = 0;
    m_pPoint.reset();
    m_pSink.reset();
    m_bApplied = false;
}

void CTabScroll::OnDocumentComplete() {
    Disconnect();
    fw::ComPtr<IHTMLDocument2> document = m_dialog.Document();
    if (!document) return;
    fw::ComPtr<IHTMLWindow2> window;
    if (FAILED(document->get_parentWindow(window.put())) || !window) return;
    fw::ComPtr<IConnectionPointContainer> container;
    if (FAILED(window.As(IID_IConnectionPointContainer, container)) || !container) return;
    fw::ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(kDiidHtmlWindowEvents2, point.put())) || !point) return;
    fw::ComPtr<WindowEvents> sink = fw::MakeCom<WindowEvents>(this);
    if (!sink) return;
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch*>(sink.get()), &cookie))) {
        sink->Detach();
        return;
    }
    m_pSink = std::move(sink);
    m_pPoint = std::move(point);
    m_dwCookie = cookie;
}

fw::ComPtr<IHTMLElement2> CTabScroll::ScrollingElement() const {
    fw::ComPtr<IHTMLDocument2> document = m_dialog.Document();
    if (!document) return {};
    // In standards mode the root element scrolls the document, in quirks
    // mode the body: the root when it has a range, else the body.
    fw::ComPtr<IHTMLElement2> root;
    fw::ComPtr<IHTMLDocument3> document3;
    if (SUCCEEDED(document.As(__uuidof(IHTMLDocument3), document3)) && document3) {
        fw::ComPtr<IHTMLElement> element;
        if (SUCCEEDED(document3->get_documentElement(element.put())) && element)
            element.As(__uuidof(IHTMLElement2), root);
    }
    Position position;
    if (root && Read(root.get(), position) && (position.rangeY > 0 || position.rangeX > 0)) return root;
    fw::ComPtr<IHTMLElement> body;
    fw::ComPtr<IHTMLElement2> body2;
    if (SUCCEEDED(document->get_body(body.put())) && body) body.As(__uuidof(IHTMLElement2), body2);
    return body2 ? body2 : root;
}

bool CTabScroll::Read(IHTMLElement2* element, Position& out) {
    long top = 0, left = 0, height = 0, width = 0, clientHeight = 0, clientWidth = 0;
    if (FAILED(element->get_scrollTop(&top)) || FAILED(element->get_scrollLeft(&left)) ||
        FAILED(element->get_scrollHeight(&height)) || FAILED(element->get_scrollWidth(&width)) ||
        FAILED(element->get_clientHeight(&clientHeight)) || FAILED(element->get_clientWidth(&clientWidth)))
        return false;
    out.top = top;
    out.left = left;
    out.rangeY = RangeOf(height, clientHeight);
    out.rangeX = RangeOf(width, clientWidth);
    return true;
}

void CTabScroll::OnScroll() {
    fw::ComPtr<IHTMLElement2> element = ScrollingElement();
    Position position;
    if (!element || !Read(element.get(), position)) return;
    // The echo of a scroll made here.
    if (m_bApplied && position.left == m_nAppliedLeft && position.top == m_nAppliedTop) return;
    m_bApplied = false;
    m_dialog.Notify(UWM_TAB_SCROLLED, PartsOf(position.left, position.rangeX), PartsOf(position.top, position.rangeY));
}

void CTabScroll::ScrollTo(std::uint32_t xParts, std::uint32_t yParts) {
    fw::ComPtr<IHTMLElement2> element = ScrollingElement();
    Position position;
    if (!element || !Read(element.get(), position)) return;
    const long left = OffsetOf(xParts, position.rangeX);
    const long top = OffsetOf(yParts, position.rangeY);
    if (left != position.left) (void)element->put_scrollLeft(left);
    if (top != position.top) (void)element->put_scrollTop(top);
    // Where the page really went (an engine may round or clamp), which its
    // onscroll will find.
    Position after;
    if (!Read(element.get(), after)) return;
    if (after.left == position.left && after.top == position.top) return;  // no move, no event
    m_bApplied = true;
    m_nAppliedLeft = after.left;
    m_nAppliedTop = after.top;
}
