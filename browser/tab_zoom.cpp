#include "tab_zoom.h"

#include "browser/dialog_wb_container.h"
#include "framework/com_ptr.h"

#include <cwchar>
#include <string_view>

namespace {

// The wrapper's attribute text; %d is the percentage.
constexpr const wchar_t* kZoomWrapperAttributes =
    L"ID = \"__bm__fennickbar__zoom__\" NAME=\"__bm__fennickbar__zoom__\" STYLE=\"position: relative;zoom: %d%%\"";
// The engine's tag identifier of a DIV (TAGID_DIV).
constexpr int kTagDiv = 30;

// A CSS percentage as a string variant ("150%").
struct PercentText {
    explicit PercentText(int percent) {
        wchar_t text[16];
        swprintf(text, 16, L"%d%%", percent);
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(text);
    }
    ~PercentText() { VariantClear(&value); }
    VARIANT value;
};

// Sets the CSS zoom of a style object that answers IHTMLStyle3.
template <typename Style>
bool SetZoom(Style* style, int percent) {
    if (!style) return false;
    fw::ComPtr<IHTMLStyle3> style3;
    if (FAILED(style->QueryInterface(__uuidof(IHTMLStyle3), style3.put_void())) || !style3) return false;
    PercentText text(percent);
    return SUCCEEDED(style3->put_zoom(text.value));
}

bool SetRuntimeZoom(IHTMLElement* element, int percent) {
    fw::ComPtr<IHTMLElement2> element2;
    if (FAILED(element->QueryInterface(__uuidof(IHTMLElement2), element2.put_void())) || !element2) return false;
    fw::ComPtr<IHTMLStyle> runtime;
    if (FAILED(element2->get_runtimeStyle(runtime.put())) || !runtime) return false;
    return SetZoom(runtime.get(), percent);
}

} // namespace

LRESULT CTabZoom::OnZoomRequest(int percent) {
    IWebBrowser2* browser = m_dialog.Browser();
    if (!browser) return 1;
    fw::ComPtr<IDispatch> document;
    if (FAILED(browser->get_Document(document.put())) || !document) return 1;
    fw::ComPtr<IHTMLDocument2> html;
    // Not an HTML page: the tab keeps its zoom.
    if (FAILED(document.As(__uuidof(IHTMLDocument2), html)) || !html) return 0;
    m_nZoom = percent;
    ApplyZoom(html.get(), percent, false);
    return 0;
}

void CTabZoom::ReapplyZoom() {
    if (m_nZoom == 100) return;
    if (auto html = m_dialog.Document()) ApplyZoom(html.get(), m_nZoom, false);
}

bool CTabZoom::ApplyZoom(IHTMLDocument2* document, int percent, bool nested) {
    if (!document || percent <= 0) return false;
    fw::ComPtr<IHTMLElement> body;
    if (FAILED(document->get_body(body.put())) || !body) return false;

    fw::ComPtr<IHTMLBodyElement> bodyElement;
    if (SUCCEEDED(body.As(__uuidof(IHTMLBodyElement), bodyElement)) && bodyElement) {
        // Inside a frame the frame's own scaling is undone on its body, so
        // that the wrapper's zoom is the page's only one.
        if (nested) SetRuntimeZoom(body.get(), 10000 / percent);

        fw::ComPtr<IDispatch> allDispatch;
        fw::ComPtr<IHTMLElementCollection> all;
        if (FAILED(body->get_all(allDispatch.put())) || !allDispatch ||
            FAILED(allDispatch.As(__uuidof(IHTMLElementCollection), all)) || !all)
            return false;
        VARIANT zero;
        VariantInit(&zero);
        zero.vt = VT_I4;
        zero.lVal = 0;
        fw::ComPtr<IDispatch> firstDispatch;
        fw::ComPtr<IHTMLElement> first;
        BSTR id = nullptr;
        if (SUCCEEDED(all->item(zero, zero, firstDispatch.put())) && firstDispatch &&
            SUCCEEDED(firstDispatch.As(__uuidof(IHTMLElement), first)) && first && SUCCEEDED(first->get_id(&id)) &&
            id && std::wstring_view(id, SysStringLen(id)) == kZoomWrapperId) {
            SysFreeString(id);
            fw::ComPtr<IHTMLStyle> style;
            if (FAILED(first->get_style(style.put())) || !SetZoom(style.get(), percent)) return false;
            return ZoomFrames(document, percent);
        }
        SysFreeString(id);

        // No wrapper yet (or something was put before it): wrap the whole
        // content of the body in a new one.
        fw::ComPtr<IMarkupServices> markup;
        fw::ComPtr<IMarkupContainer> container;
        if (FAILED(document->QueryInterface(__uuidof(IMarkupServices), markup.put_void())) || !markup ||
            FAILED(document->QueryInterface(__uuidof(IMarkupContainer), container.put_void())) || !container)
            return false;
        fw::ComPtr<IMarkupPointer> begin, end;
        if (FAILED(markup->CreateMarkupPointer(begin.put())) || !begin ||
            FAILED(markup->CreateMarkupPointer(end.put())) || !end)
            return false;
        if (FAILED(begin->MoveAdjacentToElement(body.get(), ELEM_ADJ_AfterBegin)) ||
            FAILED(end->MoveAdjacentToElement(body.get(), ELEM_ADJ_BeforeEnd)))
            return false;
        wchar_t attributes[160];
        swprintf(attributes, 160, kZoomWrapperAttributes, percent);
        fw::ComPtr<IHTMLElement> wrapper;
        if (FAILED(markup->CreateElement(static_cast<ELEMENT_TAG_ID>(kTagDiv), attributes, wrapper.put())) ||
            !wrapper)
            return false;
        if (FAILED(markup->InsertElement(wrapper.get(), begin.get(), end.get()))) return false;
        return ZoomFrames(document, percent);
    }

    // A frameset: its frames are scaled each on their own.
    if (nested) return ZoomFrames(document, percent);
    fw::ComPtr<IHTMLFrameSetElement> frameset;
    if (FAILED(body.As(__uuidof(IHTMLFrameSetElement), frameset)) || !frameset) return false;
    if (!SetRuntimeZoom(body.get(), percent)) return false;
    return ZoomFrames(document, percent);
}

bool CTabZoom::ZoomFrames(IHTMLDocument2* document, int percent) {
    fw::ComPtr<IHTMLFramesCollection2> frames;
    long length = 0;
    if (FAILED(document->get_frames(frames.put())) || !frames || FAILED(frames->get_length(&length))) return false;
    for (long i = 0; i < length; ++i) {
        VARIANT index, item;
        VariantInit(&index);
        VariantInit(&item);
        index.vt = VT_I4;
        index.lVal = i;
        if (SUCCEEDED(frames->item(&index, &item)) && item.vt == VT_DISPATCH && item.pdispVal) {
            fw::ComPtr<IHTMLWindow2> window;
            fw::ComPtr<IHTMLDocument2> frameDocument;
            if (SUCCEEDED(item.pdispVal->QueryInterface(__uuidof(IHTMLWindow2), window.put_void())) && window &&
                SUCCEEDED(window->get_document(frameDocument.put())) && frameDocument)
                ApplyZoom(frameDocument.get(), percent, true);
        }
        VariantClear(&item);
    }
    return true;
}

void CTabZoom::SetTextSize(int level) {
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_I4;
    in.lVal = level;
    m_dialog.Browser()->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &in, nullptr);
}

