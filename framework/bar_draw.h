#pragma once
// GDI drawing and mouse helpers shared by the status bar (status_bar.cpp)
// and the caption bar (caption_bar.cpp), in the current visual scheme's
// message font. Each function leaves the DC's selected objects as it found
// them. User-interface thread only.
#include "handles.h"
#include "visual_scheme.h"

#include <string>

namespace fw::bar_draw {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Height of the message font, measured once.
int FontHeight();
int TextWidth(HDC dc, const std::wstring& text);
void FillSolid(HDC dc, const RECT& rect, COLORREF color);
// Top to bottom, one row at a time.
void FillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);
void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF color);
// A rounded box filled with a vertical gradient and outlined with `border`.
void RoundBox(HDC dc, const RECT& rect, int radius, COLORREF top, COLORREF bottom, COLORREF border);
// A round button with a gradient and an outline.
void RoundButton(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom, COLORREF border);
// One line of `text`, vertically centred in `rect`, without prefixes.
void PaintText(HDC dc, const std::wstring& text, RECT rect, UINT format, COLORREF color);
// Asks for WM_MOUSELEAVE.
void TrackLeave(HWND hwnd);
void ReleaseOwnCapture(HWND hwnd);
inline bool IsLeftButtonDown() { return (GetKeyState(VK_LBUTTON) & 0x8000) != 0; }

// Fills the client area of a window through a memory bitmap, so that
// nothing flickers.
template <typename PaintFn>
void PaintBuffered(HWND hwnd, PaintFn paint) {
    PaintScope ps(hwnd);
    const HDC target = ps.dc();
    if (!target) return;
    RECT client{};
    GetClientRect(hwnd, &client);
    if (client.right <= 0 || client.bottom <= 0) return;
    MemoryDC memory(CreateCompatibleDC(target));
    Bitmap bitmap(CreateCompatibleBitmap(target, client.right, client.bottom));
    if (memory && bitmap) {
        Selection selectBitmap(memory.get(), bitmap.get());
        Selection selectFont(memory.get(), MessageFont());
        SetBkMode(memory.get(), TRANSPARENT);
        paint(memory.get());
        BitBlt(target, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
    } else {
        Selection selectFont(target, MessageFont());
        SetBkMode(target, TRANSPARENT);
        paint(target);
    }
}

// The painting messages of a bar: no background erase (the paint covers
// everything), a buffered paint, and a paint into a given DC for printing.
template <typename PaintFn>
LRESULT PaintMessage(HWND hwnd, UINT message, WPARAM wParam, PaintFn paint) {
    if (message == WM_ERASEBKGND) return 1;
    if (message == WM_PAINT) {
        PaintBuffered(hwnd, paint);
        return 0;
    }
    const HDC dc = reinterpret_cast<HDC>(wParam);
    Selection font(dc, MessageFont());
    SetBkMode(dc, TRANSPARENT);
    paint(dc);
    return 0;
}

} // namespace fw::bar_draw
