#pragma once
// Colour schemes of the framework's own bars (ribbon, ribbon status bar,
// caption bar, tab groups). One scheme is current for the process; the bars
// read it whenever they paint, so changing it and repainting the frame with
// its children switches the look. User-interface thread only. The scheme
// is Office2007Blue until SetVisualScheme picks another; Base and Windows
// read the system colours again on every change of scheme.
#include <windows.h>

namespace fw {

enum class VisualScheme {
    Base,             // plain system colours
    OfficeXP,
    Windows,          // the system's theme colours
    Office2003,
    VisualStudio2005,
    Office2007Blue,
    Office2007Black,
    Office2007Silver,
    Office2007Aqua,
};

struct SchemeColors {
    COLORREF frame;          // background of the ribbon's tab row, status bar, caption bar
    COLORREF panelTop;       // gradient of a category's panel area, top to bottom
    COLORREF panelBottom;
    COLORREF panelBorder;
    COLORREF panelCaption;   // band with the panel's name
    COLORREF text;           // text on the bars
    COLORREF captionText;    // panel captions
    COLORREF activeTab;      // the selected category tab
    COLORREF hotFill;        // an element under the mouse
    COLORREF pressedFill;    // an element pressed or checked
    COLORREF hotBorder;
    COLORREF statusTop;      // gradient of the status bar
    COLORREF statusBottom;
    COLORREF noticeFill;     // caption bar (notices)
    COLORREF tabText;        // text drawn straight on `frame` (inactive tabs, tab-row elements)
};

// Drawing helpers the bars share.
// The colour `towardB` (0 to 1) of the way from `a` to `b`.
COLORREF MixColors(COLORREF a, COLORREF b, double towardB);
// The system's message font, created once per process (a stock font when
// the system does not say which); not to be deleted.
HFONT MessageFont();

void SetVisualScheme(VisualScheme scheme);
VisualScheme CurrentVisualScheme();
const SchemeColors& CurrentSchemeColors();

} // namespace fw
