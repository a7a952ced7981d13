#include "vantrell_doc.h"

#include "core/messages.h"
#include "core/settings.h"
#include "vantrell_view.h"

#include <oaidl.h>

CVantrellDoc::~CVantrellDoc() {
    if (m_pBrowserStream) {
        // Only the stream goes. Unmarshalling it here would make a proxy
        // whose release calls into the engine thread's apartment, which the
        // tab's close is winding down at this very moment: once that thread
        // stops taking calls, the call would wait for ever. The marshalled
        // reference goes with the engine thread's apartment.
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
