#pragma once
// The picture of a child process's tab content, for Wine.
//
// Under Wine 8 a window whose top-level window belongs to another process
// draws into nothing: the child's tab content exists, is visible and takes
// input inside the parent's tab view, but none of its painting reaches the
// screen. So under Wine the child paints its content into a picture that
// the parent shows in the view, underneath the child's windows (which keep
// the mouse and keyboard).
//
// Shared memory, named after the tab's pipe, readable and writable by both:
//   offset 0   DWORD sequence   odd while the child writes, even when done
//   offset 4   DWORD width      pixels, 1..kMaxPictureWidth
//   offset 8   DWORD height     pixels, 1..kMaxPictureHeight
//   offset 12  DWORD reserved
//   offset 16  width*height 32-bit pixels, top row first
// The child (CContentPictureWriter, on its pipe thread) paints its content
// with WM_PRINT at intervals and, when the picture changed or the content
// was shown again, writes it and sends UWM_TAB_PICTURE over the pipe. The
// parent's proxy thread (CContentPictureReader) then draws it into the
// view. The reader trusts nothing of the header: a size out of range or a
// sequence that moved during the copy draws nothing.
#include "framework/handles.h"

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr DWORD kMaxPictureWidth = 4096;
inline constexpr DWORD kMaxPictureHeight = 2400;

// The child side. Not thread-safe: one thread owns it.
class CContentPictureWriter {
public:
    // Creates the shared memory for the pipe `pipeName`; false on failure
    // (the content then stays unseen, as before).
    bool Create(const std::wstring& pipeName);
    // Paints `content` and its visible descendants and stores the picture
    // when it differs from the last one stored, or when `content` became
    // visible again. True when a new picture was stored.
    bool Capture(HWND content);

private:
    fw::UniqueHandle m_hMapping;
    void* m_pView = nullptr;
    std::uint64_t m_lastHash = 0;
    SIZE m_lastSize{};
    bool m_bWasVisible = false;
    DWORD m_sequence = 0;

public:
    CContentPictureWriter() = default;
    ~CContentPictureWriter();
    CContentPictureWriter(const CContentPictureWriter&) = delete;
    CContentPictureWriter& operator=(const CContentPictureWriter&) = delete;
};

// The parent side. Not thread-safe: the proxy thread owns it.
class CContentPictureReader {
public:
    // Draws the child's latest picture at the top left of `view`, over the
    // area its children cover; false when there is none or it is not sound.
    bool Draw(HWND view, const std::wstring& pipeName);

    CContentPictureReader() = default;
    ~CContentPictureReader();
    CContentPictureReader(const CContentPictureReader&) = delete;
    CContentPictureReader& operator=(const CContentPictureReader&) = delete;

private:
    fw::UniqueHandle m_hMapping;
    void* m_pView = nullptr;
    std::vector<std::uint32_t> m_pixels;
};
