#pragma once
// GDI drawing helpers of the ribbon (ribbon.cpp): gradients, rounded boxes,
// glyphs, bitmap strips with a magenta key colour, and text with '&'
// mnemonics. Each function leaves the DC's selected objects as it found
// them. User-interface thread only.
#include <windows.h>

#include <string>

namespace fw::ribbon_draw {

// `a` moved towards `b` by `percent` (0 keeps `a`, 100 gives `b`).
COLORREF Mix(COLORREF a, COLORREF b, int percent);
// Perceived brightness, 0..255.
int Brightness(COLORREF c);

void FillSolid(HDC dc, const RECT& rect, COLORREF color);
// Top-to-bottom gradient over `rect`.
void FillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom);
// A box with rounded corners (`radius` pixels) filled with a vertical
// gradient and outlined with `border`.
void RoundBox(HDC dc, const RECT& rect, int radius, COLORREF top, COLORREF bottom, COLORREF border);
// A one-pixel horizontal or vertical line from (x1, y1) to (x2, y2), end excluded.
void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF color);
// A small downward triangle (7 x 4) centred on (cx, cy).
void DownArrow(HDC dc, int cx, int cy, COLORREF color);

// Square `index` of a strip of `size` x `size` images, drawn at (x, y)
// with magenta transparent; greyed and faded when `disabled`. Nothing is
// drawn for a missing strip or an index past its end.
void StripImage(HDC dc, HBITMAP strip, int index, int size, int x, int y, bool disabled);
// A whole bitmap scaled into `target` (magenta transparent).
void WholeImage(HDC dc, HBITMAP image, const RECT& target, bool disabled);

// Size of `text` on one line, with '&' taken as a mnemonic mark.
SIZE TextExtent(HDC dc, const std::wstring& text);
// `text` in `rect` with DrawText `format` (mnemonics underlined) in `color`.
void DrawLabel(HDC dc, const std::wstring& text, RECT rect, UINT format, COLORREF color);
// `text` without its mnemonic marks ("&&" becomes "&").
std::wstring StripMnemonic(const std::wstring& text);
// The mnemonic letter of `text` (upper case), or 0.
wchar_t MnemonicOf(const std::wstring& text);

} // namespace fw::ribbon_draw
