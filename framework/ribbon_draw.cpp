#include "ribbon_draw.h"

#include "handles.h"

#include <cwctype>

namespace fw::ribbon_draw {

COLORREF Mix(COLORREF a, COLORREF b, int percent) {
    auto channel = [&](int shift) {
        int x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
        return static_cast<COLORREF>(x + (y - x) * percent / 100) << shift;
    };
    return channel(0) | channel(8) | channel(16);
}

int Brightness(COLORREF c) { return (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 100; }

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    COLORREF old = SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

void FillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    TRIVERTEX v[2]{};
    v[0].x = rect.left;
    v[0].y = rect.top;
    v[0].Red = static_cast<COLOR16>(GetRValue(top) << 8);
    v[0].Green = static_cast<COLOR16>(GetGValue(top) << 8);
    v[0].Blue = static_cast<COLOR16>(GetBValue(top) << 8);
    v[1].x = rect.right;
    v[1].y = rect.bottom;
    v[1].Red = static_cast<COLOR16>(GetRValue(bottom) << 8);
    v[1].Green = static_cast<COLOR16>(GetGValue(bottom) << 8);
    v[1].Blue = static_cast<COLOR16>(GetBValue(bottom) << 8);
    GRADIENT_RECT g{0, 1};
    GradientFill(dc, v, 2, &g, 1, GRADIENT_FILL_RECT_V);
}

void RoundBox(HDC dc, const RECT& rect, int radius, COLORREF top, COLORREF bottom, COLORREF border) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    Region clip(CreateRoundRectRgn(rect.left, rect.top, rect.right + 1, rect.bottom + 1, radius * 2, radius * 2));
    // Keep whatever clipping the caller had, and restore it afterwards.
    Region saved(CreateRectRgn(0, 0, 0, 0));
    bool hadClip = GetClipRgn(dc, saved.get()) == 1;
    ExtSelectClipRgn(dc, clip.get(), RGN_AND);
    FillGradient(dc, rect, top, bottom);
    SelectClipRgn(dc, hadClip ? saved.get() : nullptr);
    Pen pen(CreatePen(PS_SOLID, 1, border));
    Selection p(dc, pen.get());
    Selection b(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius * 2, radius * 2);
}

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF color) {
    Pen pen(CreatePen(PS_SOLID, 1, color));
    Selection p(dc, pen.get());
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void DownArrow(HDC dc, int cx, int cy, COLORREF color) {
    for (int row = 0; row < 4; ++row) Line(dc, cx - 3 + row, cy - 2 + row, cx + 4 - row, cy - 2 + row, color);
}

namespace {

// Copies a part of `source` into a 32-bit DIB, turns every pixel that is
// not magenta into a faded grey, and draws it at `target`.
void DrawGreyed(HDC dc, HDC source, int sx, int sy, int sw, int sh, const RECT& target) {
    const BITMAPINFO bi = TopDownBitmapInfo(sw, sh);
    void* bits = nullptr;
    Bitmap dib(CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDC mem(CreateCompatibleDC(dc));
    if (!dib || !mem || !bits) return;
    Selection sel(mem.get(), dib.get());
    BitBlt(mem.get(), 0, 0, sw, sh, source, sx, sy, SRCCOPY);
    GdiFlush();
    auto* px = static_cast<DWORD*>(bits);
    for (int i = 0; i < sw * sh; ++i) {
        DWORD c = px[i] & 0xFFFFFF;
        if (c == 0xFF00FF) continue;
        int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        int grey = (r * 30 + g * 59 + b * 11) / 100;
        grey = 150 + grey * 90 / 255;  // light and flat, like a disabled glyph
        if (grey == 255) grey = 254;
        px[i] = static_cast<DWORD>((grey << 16) | (grey << 8) | grey);
    }
    TransparentBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, mem.get(), 0,
                   0, sw, sh, RGB(255, 0, 255));
}

void DrawPart(HDC dc, HBITMAP image, int sx, int sy, int sw, int sh, const RECT& target, bool disabled) {
    MemoryDC mem(CreateCompatibleDC(dc));
    if (!mem) return;
    Selection sel(mem.get(), image);
    if (disabled) {
        DrawGreyed(dc, mem.get(), sx, sy, sw, sh, target);
        return;
    }
    TransparentBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, mem.get(), sx,
                   sy, sw, sh, RGB(255, 0, 255));
}

} // namespace

void StripImage(HDC dc, HBITMAP strip, int index, int size, int x, int y, bool disabled) {
    if (!strip || index < 0) return;
    BITMAP bm{};
    if (!GetObjectW(strip, sizeof(bm), &bm)) return;
    int side = bm.bmHeight < size ? bm.bmHeight : size;
    if ((index + 1) * side > bm.bmWidth || side <= 0) return;
    RECT target{x, y, x + side, y + side};
    DrawPart(dc, strip, index * side, 0, side, side, target, disabled);
}

void WholeImage(HDC dc, HBITMAP image, const RECT& target, bool disabled) {
    BITMAP bm{};
    if (!image || !GetObjectW(image, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0) return;
    DrawPart(dc, image, 0, 0, bm.bmWidth, bm.bmHeight, target, disabled);
}

SIZE TextExtent(HDC dc, const std::wstring& text) {
    RECT r{0, 0, 0, 0};
    if (text.empty()) {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        return {0, tm.tmHeight};
    }
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    return {r.right - r.left, r.bottom - r.top};
}

void DrawLabel(HDC dc, const std::wstring& text, RECT rect, UINT format, COLORREF color) {
    COLORREF old = SetTextColor(dc, color);
    int mode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    SetBkMode(dc, mode);
    SetTextColor(dc, old);
}

std::wstring StripMnemonic(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

wchar_t MnemonicOf(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(std::towupper(text[i + 1]));
    }
    return 0;
}

} // namespace fw::ribbon_draw
