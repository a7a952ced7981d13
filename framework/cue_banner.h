#pragma once
// The grey hint an empty edit field shows until the user types ("cue
// banner"). Windows' edit control draws it itself (EM_SETCUEBANNER). Wine 8's
// edit control frees that text from another heap than the one it took it
// from, when the text is replaced and when the field is destroyed: the
// process heap is corrupted, which showed as hangs and heap faults while the
// program closed. Under Wine the field is therefore subclassed and the hint
// is drawn here, in the system's grey-text colour, inside the field's
// formatting rectangle.
//
// Runs on the field's thread. The text is kept until the field is destroyed
// (or replaced by a later call); nothing here fails in a way the caller could
// act on: a field that cannot be subclassed shows no hint.
//
//   fw::SetCueBanner(edit, L"Search the web", false);
#include <windows.h>

#include <string>

namespace fw {

// Shows `text` in `edit` while the field is empty; also while it has the
// focus when `whileFocused`.
void SetCueBanner(HWND edit, const std::wstring& text, bool whileFocused);

// The hint a field shows under Wine (set by SetCueBanner), or empty; for
// tests.
std::wstring DrawnCueBanner(HWND edit);

} // namespace fw
