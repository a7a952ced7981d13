#include "vantrell_doc.h"

#include "core/messages.h"
#include "core/settings.h"
#include "vantrell_view.h"

#include <oaidl.h>

CVantrellDoc::~CVantrellDoc() {
    if (m_pBrowserStream) {
        // The marshalled reference is let go without a call into the engine
        // thread's apartment: the document goes after the view has told its
        // engine thread to end, and a call to an apartment that is ending
        // may never be answered, which would hold the window's thread.
        CoReleaseMarshalData(m_pBrowserStream);
        m_pBrowserStream->Release();
        m_pBrowserStream = nullptr;
    }
}

void CVantrellDoc::SetPathName(const std::wstring&, bool) {}

bool CVantrellDoc::OnNewDocument() {
    if (!fw::Document::OnNewDocument()) return false;
    m_strURL = g_strHomePage;
    return true;
}

bool CVantrellDoc::OnOpenDocument(const wchar_t* path) {
    m_strURL = path ? path : L"";
    return true;
}

bool CVantrellDoc::SaveModified() {
    if (m_bClosing) return true;
    auto view = dynamic_cast<CVantrellView*>(FirstView());
    if (!view) return true;
    // An engine thread that is gone cannot answer: nothing keeps the tab.
    return !view->PostToEngine(UWM_TAB_QUERY_CLOSE, 0, 0);
}

CVantrellDoc* NewDocumentOfVersion(IEVERSION version) {
    switch (version) {
    case IE55: return new CIE55Doc;
    case IE6: return new CIE6Doc;
    case IE7: return new CIE7Doc;
    case IE8: return new CIE8Doc;
    case IE9: return new CIE9Doc;
    case IEDefault: return new CIEDefaultDoc;
    default: return nullptr;
    }
}
