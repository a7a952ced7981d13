#pragma once
// Documents, views and document templates of the tabbed window.
//
// A DocTemplate (registered with the application, WinApp::AddDocTemplate)
// makes one kind of tab: it creates the document, the tab's frame
// (MDIChildFrame, inside the main frame's MDI client) and the view that
// fills the frame. The template's resource id names the tab's icon and the
// template's description string ("\nlabel\nlabel\n\n\ntype\ntype").
//
// Ownership: the application owns its templates; a template lists its open
// documents, which delete themselves in OnCloseDocument; a frame and its view
// delete themselves when their windows go (PostNcDestroy). All of it lives
// on the user-interface thread.
//
// Closing: a frame's WM_CLOSE asks its document (CanCloseFrame, which asks
// SaveModified when this is the document's last frame); a document that
// agrees is closed with the frame. A document that refuses keeps its tab;
// it may close it later itself (for instance by posting WM_CLOSE to the
// frame once it is ready to agree).
#include "command.h"
#include "window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fw {

class DocTemplate;
class MDIChildFrame;
class View;

class Document : public CommandTarget {
public:
    Document() = default;
    ~Document() override;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    const std::wstring& Title() const { return m_title; }
    // Sets the title and gives it to every frame of the document as its tab
    // caption.
    virtual void SetTitle(const std::wstring& title);
    const std::wstring& PathName() const { return m_pathName; }
    virtual void SetPathName(const std::wstring& path, bool addToRecent = true);

    // Called by the template for a document opened without a path, or with
    // one. False fails the opening (the document is then deleted).
    virtual bool OnNewDocument() { return true; }
    virtual bool OnOpenDocument(const wchar_t* /*path*/) { return true; }
    // Whether the document may close now; the default agrees.
    virtual bool SaveModified() { return true; }
    // Whether `frame` may close: SaveModified when it is the document's
    // last frame, true otherwise.
    virtual bool CanCloseFrame(MDIChildFrame* frame);
    // Destroys every frame of the document and deletes the document.
    virtual void OnCloseDocument();

    DocTemplate* Template() const { return m_pTemplate; }
    const std::vector<View*>& Views() const { return m_views; }
    View* FirstView() const { return m_views.empty() ? nullptr : m_views.front(); }

private:
    friend class DocTemplate;
    friend class View;
    void AddView(View* view);
    void RemoveView(View* view);

    std::wstring m_title;
    std::wstring m_pathName;
    DocTemplate* m_pTemplate = nullptr;
    std::vector<View*> m_views;
    bool m_bClosing = false;
};

// The window that shows a document inside its tab frame. Created by the
// template as the frame's only child; deletes itself when its window goes.
class View : public Window, public CommandTarget {
public:
    Document* GetDocument() const { return m_pDocument; }
    MDIChildFrame* ParentFrame() const;

    // Once, after the frame and the view exist and before the frame is
    // first shown.
    virtual void OnInitialUpdate() {}
    // The tab became the active tab (activate true) or stopped being it.
    virtual void OnActivateView(bool /*activate*/, View* /*activated*/, View* /*deactivated*/) {}

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override { delete this; }

private:
    friend class DocTemplate;
    friend class Document;
    Document* m_pDocument = nullptr;
};

class DocTemplate {
public:
    using DocumentFactory = std::function<Document*()>;
    using FrameFactory = std::function<MDIChildFrame*()>;
    using ViewFactory = std::function<View*()>;

    DocTemplate(UINT resourceId, DocumentFactory document, FrameFactory frame, ViewFactory view);
    ~DocTemplate();
    DocTemplate(const DocTemplate&) = delete;
    DocTemplate& operator=(const DocTemplate&) = delete;

    UINT ResourceId() const { return m_nResourceId; }
    // The small icon with the template's resource id (shared, not owned);
    // null when the resources have none.
    HICON Icon() const { return m_hIcon; }
    // Part `index` of the description string (parts separated by "\n");
    // empty when there is no string or no such part.
    std::wstring DocString(int index) const;

    // Creates a document, its frame in the main frame's MDI client and its
    // view; calls OnOpenDocument(path), or OnNewDocument when path is null;
    // then the view's OnInitialUpdate. With `makeVisible` the new tab
    // becomes the active tab of the active group. Returns the document, or
    // null after undoing everything when a step fails (no main frame,
    // a factory returned null, a window could not be created, the document
    // refused).
    Document* OpenDocumentFile(const wchar_t* path, bool makeVisible = true);
    // Open documents of this template, in opening order.
    const std::vector<Document*>& Documents() const { return m_documents; }

private:
    friend class Document;
    void RemoveDocument(Document* document);

    UINT m_nResourceId;
    DocumentFactory m_makeDocument;
    FrameFactory m_makeFrame;
    ViewFactory m_makeView;
    HICON m_hIcon = nullptr;
    std::vector<Document*> m_documents;
};

} // namespace fw
