#pragma once
// The document object model of the stand-in control: COM objects over a
// loaded Page that answer what hosts call (IHTMLDocument2, elements, styles,
// collections, the markup services, frames and windows, IViewObject).
#include "engines/browser/page.h"

#include <mshtml.h>

#include <functional>
#include <memory>

namespace standin {

// Shared by a control and every document object it hands out; documents
// may outlive the control, which then clears `changed`.
struct DocumentContext {
    PaintSettings settings;         // how IViewObject::Draw paints
    std::function<void()> changed;  // the tree or a style changed: repaint
    // While the control reports a script error to its host: the error's
    // event object, which window.event answers (null otherwise). Not owned:
    // the control holds it for the duration of the report.
    IDispatch* event = nullptr;
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
