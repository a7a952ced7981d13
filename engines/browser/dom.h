#pragma once
// The document object model of the stand-in control: COM objects over a
// loaded Page that answer what hosts call (IHTMLDocument2, elements, styles,
// collections, the markup services, frames and windows, IViewObject).
#include "engines/browser/com_util.h"
#include "engines/browser/page.h"

#include <mshtml.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace standin {

// {3050F625-98B5-11CF-BB82-00AA00BDCE0B}: a window's events (onscroll).
inline constexpr IID kDiidHTMLWindowEvents2 = {
    0x3050F625, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// Shared by a control and every document object it hands out; documents
// may outlive the control, which then clears `changed`.
struct DocumentContext {
    PaintSettings settings;         // how IViewObject::Draw paints
    std::function<void()> changed;  // the tree or a style changed: repaint
    // While the control reports a script error to its host: the error's
    // event object, which window.event answers (null otherwise). Not owned:
    // the control holds it for the duration of the report.
    IDispatch* event = nullptr;

    // The top page's viewport, in pixels, as its <html> and <body> elements
    // answer it (IHTMLElement2's scroll and client sizes) and as its window
    // scrolls it. `viewport` and `scrollTo` are set by the control and
    // cleared when it goes; without them the viewport is empty and nothing
    // scrolls.
    struct Viewport {
        long scrollLeft = 0, scrollTop = 0;
        long scrollWidth = 0, scrollHeight = 0;  // the laid-out content
        long clientWidth = 0, clientHeight = 0;  // the visible part
    };
    std::function<Viewport()> viewport;
    std::function<void(long left, long top)> scrollTo;
    // The page on display, whose elements and window the viewport is.
    const Page* topPage = nullptr;
    // Sinks of HTMLWindowEvents2 advised on a page's window, with the page
    // they were advised on. The control fires onscroll to the top page's
    // and drops them all when another page shows, as an engine does with a
    // document's window events.
    struct WindowSink {
        const Page* page;
        DWORD cookie;
        ComPtr<IDispatch> sink;
    };
    std::vector<WindowSink> windowSinks;
    DWORD nextWindowCookie = 1;
};

// The event object of a script error, as a host reads it from window.event
// while the error is reported: IHTMLEventObj, whose IDispatch also answers
// the properties "errorMessage", "errorLine", "errorCharacter", "errorCode"
// and "errorUrl".
HRESULT CreateScriptErrorEvent(const std::wstring& message, long line, long character, const std::wstring& url,
                               IDispatch** out);

// Makes the document object of a page (the top page or a frame's).
// Answers IHTMLDocument2 (and IDispatch, IUnknown), IMarkupServices,
// IMarkupContainer, IViewObject and IViewObject2, IOleCommandTarget is not
// answered (the control answers it).
HRESULT CreateDocumentObject(const std::shared_ptr<Page>& page,
                             const std::shared_ptr<DocumentContext>& context,
                             IHTMLDocument2** out);

}  // namespace standin
