#include "bar_draw.h"

namespace fw::bar_draw {

int FontHeight() {
    static const int height = [] {
        WindowDC dc(nullptr);
        Selection font(dc.get(), MessageFont());
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc.get(), &metrics);
        return static_cast<int>(metrics.tmHeight);
    }();
    return height;
}

int TextWidth(HDC dc, const std::wstring& text) {
    if (text.empty()) return 0;
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    SetDCBrushColor(dc, color);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void FillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom) {
    const int height = rect.bottom - rect.top;
    for (int y = 0; y < height; ++y) {
        RECT row{rect.left, rect.top + y, rect.right, rect.top + y + 1};
        FillSolid(dc, row, MixColors(top, bottom, height > 1 ? static_cast<double>(y) / (height - 1) : 0.0));
    }
}

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF color) {
    Pen pen(CreatePen(PS_SOLID, 1, color));
    Selection select(dc, pen.get());
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void RoundBox(HDC dc, const RECT& rect, int radius, COLORREF top, COLORREF bottom, COLORREF border) {
    if (rect.right - rect.left < 2 || rect.bottom - rect.top < 2) return;
    Region clip(CreateRoundRectRgn(rect.left, rect.top, rect.right + 1, rect.bottom + 1, radius, radius));
    SelectClipRgn(dc, clip.get());
    FillGradient(dc, rect, top, bottom);
    SelectClipRgn(dc, nullptr);
    Pen pen(CreatePen(PS_SOLID, 1, border));
    Selection selectPen(dc, pen.get());
    Selection selectBrush(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, radius, radius);
}

void RoundButton(HDC dc, const RECT& rect, COLORREF top, COLORREF bottom, COLORREF border) {
    Region clip(CreateEllipticRgn(rect.left, rect.top, rect.right + 1, rect.bottom + 1));
    SelectClipRgn(dc, clip.get());
    FillGradient(dc, rect, top, bottom);
    SelectClipRgn(dc, nullptr);
    Pen pen(CreatePen(PS_SOLID, 1, border));
    Selection selectPen(dc, pen.get());
    Selection selectBrush(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, rect.left, rect.top, rect.right, rect.bottom);
}

// An etched vertical line: a dark line with a light one at its right.
void EtchedLine(HDC dc, int x, int top, int bottom, const SchemeColors& colors) {
    Line(dc, x, top, x, bottom, MixColors(colors.statusBottom, colors.text, 0.28));
    Line(dc, x + 1, top, x + 1, bottom, MixColors(colors.statusTop, kWhite, 0.6));
}

void PaintText(HDC dc, const std::wstring& text, RECT rect, UINT format, COLORREF color) {
    if (text.empty() || rect.right <= rect.left) return;
    SetTextColor(dc, color);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
                format | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

void TrackLeave(HWND hwnd) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
    TrackMouseEvent(&track);
}

void ReleaseOwnCapture(HWND hwnd) {
    if (GetCapture() == hwnd) ReleaseCapture();
}

} // namespace fw::bar_draw
