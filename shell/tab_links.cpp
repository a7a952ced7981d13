#include "tab_links.h"

#include "framework/app.h"
#include "framework/mdi.h"
#include "vantrell_doc.h"
#include "vantrell_view.h"

#include <algorithm>

namespace tab_links {
namespace {

fw::MDIFrameWnd* MainFrame() {
    fw::WinApp* app = fw::GetApp();
    return app ? dynamic_cast<fw::MDIFrameWnd*>(fw::Window::FromHandle(app->MainWindow())) : nullptr;
}

bool SameAddress(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

IEVERSION VersionOf(const CVantrellView& view) {
    const CVantrellDoc* doc = view.GetDocument();
    return doc ? doc->m_nVersion : IEDefault;
}

// Group numbers are never reused while the program runs.
int g_nLastGroup = 0;

std::vector<CVantrellView*>& Registry() {
    static std::vector<CVantrellView*> views;
    return views;
}

} // namespace

void Add(CVantrellView& view) { Registry().push_back(&view); }

void Remove(CVantrellView& view) {
    Leave(view);
    std::erase(Registry(), &view);
}

std::vector<CVantrellView*> AllViews() {
    std::vector<CVantrellView*> out;
    fw::MDIFrameWnd* frame = MainFrame();
    if (!frame) return out;
    for (fw::MDIChildFrame* child : frame->ChildFrames())
        if (auto* view = dynamic_cast<CVantrellView*>(child->ActiveView())) out.push_back(view);
    return out;
}

std::vector<CVantrellView*> Partners(const CVantrellView& view) {
    std::vector<CVantrellView*> out;
    if (view.m_nLinkGroup == 0) return out;
    for (CVantrellView* other : Registry())
        if (other != &view && other->m_nLinkGroup == view.m_nLinkGroup) out.push_back(other);
    return out;
}

bool Link(const std::vector<CVantrellView*>& views) {
    if (views.size() < 2) return false;
    for (CVantrellView* view : views) Leave(*view);
    const int group = ++g_nLastGroup;
    for (CVantrellView* view : views) view->m_nLinkGroup = group;
    return true;
}

void Leave(CVantrellView& view) {
    if (view.m_nLinkGroup == 0) return;
    std::vector<CVantrellView*> rest = Partners(view);
    view.m_nLinkGroup = 0;
    if (rest.size() == 1) rest.front()->m_nLinkGroup = 0;
}

bool Toggle(CVantrellView& view) {
    if (view.m_nLinkGroup != 0) {
        for (CVantrellView* partner : Partners(view)) partner->m_nLinkGroup = 0;
        view.m_nLinkGroup = 0;
        return true;
    }
    const std::wstring address = AddressOf(view);
    std::vector<CVantrellView*> group{&view};
    std::vector<IEVERSION> versions{VersionOf(view)};
    for (CVantrellView* other : AllViews()) {
        if (other == &view || !SameAddress(AddressOf(*other), address)) continue;
        const IEVERSION version = VersionOf(*other);
        if (std::find(versions.begin(), versions.end(), version) != versions.end()) continue;
        versions.push_back(version);
        group.push_back(other);
    }
    return Link(group);
}

std::wstring AddressOf(const CVantrellView& view) {
    if (!view.m_strPageURL.empty()) return view.m_strPageURL;
    if (!view.m_strCurrentURL.empty()) return view.m_strCurrentURL;
    const CVantrellDoc* doc = view.GetDocument();
    return doc ? doc->m_strURL : std::wstring();
}

bool ArrangeSideBySide(fw::MDIFrameWnd& frame, const std::vector<fw::MDIChildFrame*>& frames) {
    if (frames.empty()) return true;
    for (fw::MDIChildFrame* child : frames)
        if (!child || child->MainFrame() != &frame || !child->Group()) return false;
    // Every tab into the first group (groups that run the other way cannot
    // be split sideways), the compared ones first and in order.
    while (frame.TabGroups().size() > 1) {
        fw::TabGroup* second = frame.TabGroups()[1];
        if (second->Count() == 0 || !frame.MoveTab(second->Tab(0), frame.TabGroups()[0], frame.TabGroups()[0]->Count()))
            return false;
    }
    fw::TabGroup* first = frame.TabGroups()[0];
    for (size_t i = 0; i < frames.size(); ++i)
        if (!frame.MoveTab(frames[i], first, static_cast<int>(i))) return false;
    // A new group comes right after the active tab's: the last one first.
    const size_t shown = std::min(frames.size(), static_cast<size_t>(kMaxSideBySide));
    for (size_t i = shown; i-- > 1;) {
        frame.ActivateFrame(frames[i]);
        if (!frame.NewTabGroup(true)) return false;
    }
    for (size_t i = shown; i < frames.size(); ++i) {
        fw::TabGroup* group = frame.TabGroups()[i % kMaxSideBySide];
        if (!frame.MoveTab(frames[i], group, group->Count())) return false;
    }
    // Each group shows its first compared tab; the first group is active.
    for (size_t i = shown; i-- > 0;) frame.ActivateFrame(frames[i]);
    return true;
}

} // namespace tab_links
