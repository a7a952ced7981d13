#include "document.h"

#include "app.h"
#include "mdi.h"
#include "strings.h"

#include <algorithm>

namespace fw {

// The last tab window (frame or view) that received WM_NCCREATE on this
// thread. When Window::Create fails, the object was deleted by its
// PostNcDestroy exactly when its window had come to exist; this tells the
// template which of the two happened.
thread_local const Window* t_lastTabWindow = nullptr;

namespace {

// Distinct frames of a document's views, in view order.
std::vector<MDIChildFrame*> FramesOf(const Document& document) {
    std::vector<MDIChildFrame*> frames;
    for (View* view : document.Views())
        if (MDIChildFrame* frame = view->ParentFrame();
            frame && std::find(frames.begin(), frames.end(), frame) == frames.end())
            frames.push_back(frame);
    return frames;
}

MDIFrameWnd* MainMDIFrame() {
    WinApp* app = GetApp();
    return app ? dynamic_cast<MDIFrameWnd*>(Window::FromHandle(app->MainWindow())) : nullptr;
}

} // namespace

// ---- Document --------------------------------------------------------------

Document::~Document() {
    for (View* view : m_views) view->m_pDocument = nullptr;
    m_views.clear();
    if (m_pTemplate) m_pTemplate->RemoveDocument(this);
}

void Document::SetTitle(const std::wstring& title) {
    m_title = title;
    for (MDIChildFrame* frame : FramesOf(*this)) frame->SetCaption(title);
}

void Document::SetPathName(const std::wstring& path, bool /*addToRecent*/) {
    // The framework keeps no list of recent files; a program that does
    // overrides this.
    m_pathName = path;
}

bool Document::CanCloseFrame(MDIChildFrame* frame) {
    for (MDIChildFrame* other : FramesOf(*this))
        if (other != frame) return true;
    return SaveModified();
}

void Document::OnCloseDocument() {
    if (m_bClosing) return;
    m_bClosing = true;
    // Each frame's destruction takes its view out of m_views.
    for (MDIChildFrame* frame : FramesOf(*this))
        if (frame->Handle()) DestroyWindow(frame->Handle());
    delete this;
}

void Document::AddView(View* view) {
    if (std::find(m_views.begin(), m_views.end(), view) == m_views.end()) m_views.push_back(view);
    view->m_pDocument = this;
}

void Document::RemoveView(View* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    if (view->m_pDocument == this) view->m_pDocument = nullptr;
}

// ---- View ------------------------------------------------------------------

MDIChildFrame* View::ParentFrame() const {
    return Handle() ? dynamic_cast<MDIChildFrame*>(FromHandle(GetParent(Handle()))) : nullptr;
}

LRESULT View::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        t_lastTabWindow = this;
        break;
    case WM_PARENTNOTIFY:
        // A click on a window placed inside the view (which may belong to
        // another thread or process) makes this tab the active one.
        switch (LOWORD(wParam)) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (MDIChildFrame* frame = ParentFrame()) frame->ActivateOnClick();
            break;
        default:
            break;
        }
        break;
    case WM_MOUSEACTIVATE:
        if (MDIChildFrame* frame = ParentFrame()) frame->ActivateOnClick();
        break;
    case WM_DESTROY:
        // The parent link still holds here: the frame and the main frame
        // drop their pointers to this view.
        if (MDIChildFrame* frame = ParentFrame()) {
            if (frame->m_pView == this) frame->m_pView = nullptr;
            if (MDIFrameWnd* main = frame->MainFrame(); main && main->m_pActiveView == this)
                main->m_pActiveView = nullptr;
        }
        break;
    case WM_NCDESTROY:
        if (m_pDocument) m_pDocument->RemoveView(this);
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}

// ---- DocTemplate -----------------------------------------------------------

DocTemplate::DocTemplate(UINT resourceId, DocumentFactory document, FrameFactory frame, ViewFactory view)
    : m_nResourceId(resourceId),
      m_makeDocument(std::move(document)),
      m_makeFrame(std::move(frame)),
      m_makeView(std::move(view)) {
    m_hIcon = static_cast<HICON>(LoadImageW(ResourceModule(), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                            LR_SHARED));
}

DocTemplate::~DocTemplate() {
    // A document's destructor takes it out of the list.
    while (!m_documents.empty()) {
        Document* document = m_documents.back();
        delete document;
        if (!m_documents.empty() && m_documents.back() == document) m_documents.pop_back();
    }
}

std::wstring DocTemplate::DocString(int index) const {
    if (index < 0) return {};
    std::wstring text = LoadResourceString(m_nResourceId).value_or(L"");
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        size_t next = text.find(L'\n', start);
        if (next == std::wstring::npos) return {};
        start = next + 1;
    }
    size_t end = text.find(L'\n', start);
    return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

void DocTemplate::RemoveDocument(Document* document) {
    m_documents.erase(std::remove(m_documents.begin(), m_documents.end(), document), m_documents.end());
    if (document->m_pTemplate == this) document->m_pTemplate = nullptr;
}

Document* DocTemplate::OpenDocumentFile(const wchar_t* path, bool makeVisible) {
    MDIFrameWnd* main = MainMDIFrame();
    if (!main || !main->MDIClient() || !m_makeDocument || !m_makeFrame || !m_makeView) return nullptr;

    Document* document = m_makeDocument();
    if (!document) return nullptr;
    document->m_pTemplate = this;
    m_documents.push_back(document);

    TabGroup* group = main->GroupForNewTab();
    MDIChildFrame* frame = group ? m_makeFrame() : nullptr;
    if (!frame) {
        delete document;
        return nullptr;
    }
    frame->m_hIcon = m_hIcon;
    t_lastTabWindow = nullptr;
    if (!frame->Create(0, L"fw.MDIChild", L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                       group->Handle(), nullptr)) {
        if (t_lastTabWindow != frame) delete frame;  // else its PostNcDestroy did
        delete document;
        return nullptr;
    }
    if (m_hIcon) SendMessageW(frame->Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // Everything from here on is undone by destroying the frame (which takes
    // the view with it) and deleting the document.
    HWND frameWindow = frame->Handle();
    auto fail = [&]() -> Document* {
        if (IsWindow(frameWindow)) DestroyWindow(frameWindow);
        delete document;
        return nullptr;
    };

    View* view = m_makeView();
    if (!view) return fail();
    RECT area{};
    GetClientRect(frameWindow, &area);
    document->AddView(view);
    frame->m_pView = view;
    t_lastTabWindow = nullptr;
    if (!view->Create(0, L"fw.View", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, area.right, area.bottom,
                      frameWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(FW_MDI_CLIENT_ID)))) {
        // A view whose window came to exist has left the document and the
        // frame on its way out, and deleted itself.
        if (t_lastTabWindow != view) {
            document->RemoveView(view);
            delete view;
        }
        frame->m_pView = nullptr;
        return fail();
    }

    bool opened = path ? document->OnOpenDocument(path) : document->OnNewDocument();
    if (!opened) return fail();
    if (path && document->PathName().empty()) document->SetPathName(path);
    // A tab has no caption until its document gets a title.
    frame->SetCaption(document->Title());

    view->OnInitialUpdate();
    main->AddFrame(frame, makeVisible);
    return document;
}

} // namespace fw
