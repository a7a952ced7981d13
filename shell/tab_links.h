#pragma once
// Linked tabs and the side-by-side view of one page in several versions.
//
// Linked tabs show one page in different engine versions and follow each
// other: an address the user opens in one (typed, a link, home), its back,
// forward and refresh, its scrolling, zoom and text size are repeated in
// the others. A link group is a number that its views carry
// (CVantrellView::m_nLinkGroup, 0 for none); the views repeat the actions
// (vantrell_view.cpp) and ask here who their partners are. A tab leaves its
// group when its page fails to load, when its engine is lost and when it
// closes; a group left with one tab ends.
//
// Everything runs on the user-interface thread, which owns the views; the
// functions find the views through the application's main frame and do
// nothing without one.
//
//   // "Link tabs" on the active view:
//   tab_links::Toggle(*view);
//   // a view repeats an address in its partners:
//   for (CVantrellView* partner : tab_links::Partners(*this)) partner->NavigateTo(url);
#include <string>
#include <vector>

class CVantrellView;

namespace fw {
class MDIChildFrame;
class MDIFrameWnd;
} // namespace fw

namespace tab_links {

// Every view registers itself while it exists (its constructor and
// destructor), so partners are found without the frames, which may be
// half gone while tabs close. Remove leaves the view's group first.
void Add(CVantrellView& view);
void Remove(CVantrellView& view);

// The tab views of the main frame, group by group in tab order.
std::vector<CVantrellView*> AllViews();
// The views in `view`'s link group but `view` itself; empty when it is not
// linked.
std::vector<CVantrellView*> Partners(const CVantrellView& view);
// Makes `views` a new link group, each leaving the group it was in; false
// (and nothing changed) for fewer than two views.
[[nodiscard]] bool Link(const std::vector<CVantrellView*>& views);
// `view` leaves its group; the last tab of a group is unlinked too.
void Leave(CVantrellView& view);
// The "Link tabs" toggle: a linked view's whole group is unlinked; an
// unlinked view is linked with one tab of every other version that shows
// the same address. False when there was nothing to link with.
bool Toggle(CVantrellView& view);

// The address a view's tab shows, for comparing tabs: the page on display,
// else the last address it went to, else its first address.
std::wstring AddressOf(const CVantrellView& view);

// Places `frames` side by side, one vertical tab group each, in their
// order; more than kMaxSideBySide go into the groups as further tabs
// (frame i into group i modulo kMaxSideBySide). The window's other tabs
// stay in the first group, behind its compared tab. False when a frame is
// not the main frame's or a group could not be made; the tabs that moved
// stay where they went.
inline constexpr int kMaxSideBySide = 4;
[[nodiscard]] bool ArrangeSideBySide(fw::MDIFrameWnd& frame, const std::vector<fw::MDIChildFrame*>& frames);

} // namespace tab_links
