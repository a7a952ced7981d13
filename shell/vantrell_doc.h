#pragma once
// The document of one tab: which engine version it runs and which address
// it opens first, and the tab's close protocol (the page is asked first).
// Created by the tab kinds' templates on the user-interface thread; the
// framework deletes it when its tab has closed.
#include "core/versions.h"
#include "framework/com_ptr.h"
#include "framework/document.h"
#include "framework/handles.h"

#include <objidl.h>
#include <string>

class CVantrellDoc : public fw::Document {
public:
    CVantrellDoc() = default;
    ~CVantrellDoc() override;

    // The first address never becomes the document's path: no recent list,
    // no caption from it.
    void SetPathName(const std::wstring& path, bool addToRecent = true) override;
    // Without an address the tab opens the home page.
    bool OnNewDocument() override;
    bool OnOpenDocument(const wchar_t* path) override;
    // True once the engine has agreed (or been made) to close; until then
    // the page is asked (UWM_TAB_QUERY_CLOSE) and the tab stays.
    bool SaveModified() override;

    IEVERSION m_nVersion = IEDefault;
    std::wstring m_strURL;
    // Signalled when the tab's browser object arrives (multi-thread mode).
    fw::UniqueHandle m_hBrowserEvent;
    bool m_bClosing = false;
    // The marshalled browser object (multi-thread mode), released with the
    // document: unmarshalled and released in the destructor.
    IStream* m_pBrowserStream = nullptr;
};

template <IEVERSION Version>
class CVersionDoc final : public CVantrellDoc {
public:
    CVersionDoc() { m_nVersion = Version; }
};

using CIE55Doc = CVersionDoc<IE55>;
using CIE6Doc = CVersionDoc<IE6>;
using CIE7Doc = CVersionDoc<IE7>;
using CIE8Doc = CVersionDoc<IE8>;
using CIE9Doc = CVersionDoc<IE9>;
using CIEDefaultDoc = CVersionDoc<IEDefault>;

// A template of the tabbed window; it adds nothing to the framework's.
using CMyMultiDocTemplate = fw::DocTemplate;

// The document class of `version`'s template, new; null for a version
// without a template (4 and 5).
CVantrellDoc* NewDocumentOfVersion(IEVERSION version);
