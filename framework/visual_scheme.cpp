#include "visual_scheme.h"

#include "handles.h"

namespace fw {

namespace {

VisualScheme g_scheme = VisualScheme::Office2007Blue;
SchemeColors g_colors{};
bool g_ready = false;

COLORREF Sys(int index) { return GetSysColor(index); }

// `a` moved towards `b` by `percent` (0 keeps `a`, 100 gives `b`).
COLORREF Mix(COLORREF a, COLORREF b, int percent) {
    auto channel = [&](int shift) {
        int x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
        return static_cast<COLORREF>(x + (y - x) * percent / 100) << shift;
    };
    return channel(0) | channel(8) | channel(16);
}

SchemeColors ColorsOf(VisualScheme scheme) {
    const COLORREF white = RGB(255, 255, 255);
    switch (scheme) {
    case VisualScheme::Base: {
        COLORREF face = Sys(COLOR_BTNFACE);
        return {face,
                Mix(face, Sys(COLOR_BTNHIGHLIGHT), 60),
                face,
                Sys(COLOR_BTNSHADOW),
                Mix(face, Sys(COLOR_BTNSHADOW), 25),
                Sys(COLOR_BTNTEXT),
                Sys(COLOR_BTNTEXT),
                Mix(face, Sys(COLOR_BTNHIGHLIGHT), 60),
                Mix(Sys(COLOR_HIGHLIGHT), Sys(COLOR_WINDOW), 70),
                Mix(Sys(COLOR_HIGHLIGHT), Sys(COLOR_WINDOW), 50),
                Sys(COLOR_HIGHLIGHT),
                face,
                face,
                Sys(COLOR_INFOBK),
                Sys(COLOR_BTNTEXT)};
    }
    case VisualScheme::Windows: {
        COLORREF face = Sys(COLOR_BTNFACE);
        COLORREF caption = Sys(COLOR_GRADIENTACTIVECAPTION);
        return {Mix(caption, face, 55),
                Mix(face, white, 70),
                face,
                Mix(Sys(COLOR_ACTIVECAPTION), face, 40),
                Mix(caption, face, 45),
                Sys(COLOR_BTNTEXT),
                Sys(COLOR_BTNTEXT),
                Mix(face, white, 80),
                Mix(Sys(COLOR_HOTLIGHT), white, 80),
                Mix(Sys(COLOR_HOTLIGHT), white, 60),
                Sys(COLOR_HOTLIGHT),
                Mix(face, white, 50),
                face,
                Sys(COLOR_INFOBK),
                Sys(COLOR_BTNTEXT)};
    }
    case VisualScheme::OfficeXP:
        return {RGB(219, 216, 209), RGB(249, 248, 247), RGB(229, 227, 221), RGB(166, 166, 166),
                RGB(212, 208, 200), RGB(0, 0, 0),       RGB(64, 64, 64),    RGB(252, 252, 249),
                RGB(182, 189, 210), RGB(133, 146, 181), RGB(10, 36, 106),   RGB(236, 233, 216),
                RGB(212, 208, 200), RGB(255, 255, 225), RGB(0, 0, 0)};
    case VisualScheme::Office2003:
        return {RGB(158, 190, 245), RGB(227, 239, 255), RGB(158, 190, 245), RGB(59, 97, 156),
                RGB(123, 164, 224), RGB(0, 0, 0),       RGB(255, 255, 255), RGB(240, 246, 255),
                RGB(255, 238, 194), RGB(254, 145, 78),  RGB(0, 0, 128),     RGB(221, 236, 254),
                RGB(129, 169, 226), RGB(255, 252, 214), RGB(0, 0, 0)};
    case VisualScheme::VisualStudio2005:
        return {RGB(229, 229, 215), RGB(252, 252, 249), RGB(235, 233, 218), RGB(172, 168, 153),
                RGB(214, 210, 194), RGB(0, 0, 0),       RGB(60, 60, 60),    RGB(252, 252, 249),
                RGB(193, 210, 238), RGB(152, 181, 226), RGB(49, 106, 197),  RGB(244, 242, 232),
                RGB(217, 214, 198), RGB(255, 255, 225), RGB(0, 0, 0)};
    case VisualScheme::Office2007Blue:
        return {RGB(191, 219, 255), RGB(227, 238, 252), RGB(199, 218, 243), RGB(141, 178, 227),
                RGB(193, 216, 241), RGB(21, 66, 139),   RGB(62, 106, 170),  RGB(241, 247, 255),
                RGB(255, 231, 162), RGB(251, 186, 100), RGB(219, 182, 108), RGB(221, 236, 254),
                RGB(167, 199, 240), RGB(255, 249, 215), RGB(21, 66, 139)};
    case VisualScheme::Office2007Black:
        return {RGB(55, 55, 57),    RGB(239, 239, 240), RGB(200, 202, 206), RGB(145, 147, 151),
                RGB(118, 120, 124), RGB(30, 30, 30),    RGB(242, 242, 242), RGB(240, 240, 241),
                RGB(255, 231, 162), RGB(251, 186, 100), RGB(219, 182, 108), RGB(228, 228, 230),
                RGB(186, 188, 192), RGB(255, 249, 215), RGB(240, 240, 240)};
    case VisualScheme::Office2007Silver:
        return {RGB(208, 212, 221), RGB(246, 247, 249), RGB(218, 222, 229), RGB(164, 170, 181),
                RGB(197, 202, 211), RGB(68, 74, 84),    RGB(76, 83, 92),    RGB(252, 252, 253),
                RGB(255, 231, 162), RGB(251, 186, 100), RGB(219, 182, 108), RGB(240, 241, 244),
                RGB(201, 206, 215), RGB(255, 249, 215), RGB(68, 74, 84)};
    case VisualScheme::Office2007Aqua:
        return {RGB(176, 221, 228), RGB(232, 247, 249), RGB(192, 229, 234), RGB(102, 170, 181),
                RGB(164, 211, 218), RGB(16, 78, 88),    RGB(28, 92, 102),   RGB(243, 252, 253),
                RGB(255, 236, 176), RGB(253, 196, 116), RGB(214, 180, 112), RGB(224, 245, 247),
                RGB(165, 214, 222), RGB(255, 249, 215), RGB(16, 78, 88)};
    }
    return ColorsOf(VisualScheme::Base);
}

} // namespace

void SetVisualScheme(VisualScheme scheme) {
    g_scheme = scheme;
    g_colors = ColorsOf(scheme);
    g_ready = true;
}

VisualScheme CurrentVisualScheme() { return g_scheme; }

const SchemeColors& CurrentSchemeColors() {
    if (!g_ready) SetVisualScheme(g_scheme);
    return g_colors;
}

COLORREF MixColors(COLORREF a, COLORREF b, double towardB) {
    auto channel = [towardB](int x, int y) { return static_cast<int>(x + (y - x) * towardB + 0.5); };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

HFONT MessageFont() {
    static Font font = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
            // Systems before Vista know the structure without its last field.
            metrics.cbSize = sizeof(metrics) - sizeof(metrics.iPaddedBorderWidth);
            if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return Font();
        }
        return Font(CreateFontIndirectW(&metrics.lfMessageFont));
    }();
    return font ? font.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

} // namespace fw
