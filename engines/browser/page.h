#pragma once
// A loaded document of the stand-in control: the page at the top of a
// control or the page inside one of its frames, with what was fetched for it.
#include "engines/browser/script.h"
#include "engines/render/render.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

class Picture;  // picture.h

struct Page {
    std::wstring url;    // the address the document was loaded from (after redirects)
    std::wstring name;   // the frame's name; empty for the top page
    int version = 8;     // engine version: 5 (5.5), 6, 7, 8 or 9
    render::Document document;
    // The documents of document.frames, in the same order (frame and
    // iframe elements); an entry is null when that frame could not load.
    std::vector<std::shared_ptr<Page>> frames;
    // Decoded pictures by the src attribute as written in the markup.
    std::map<std::wstring, std::shared_ptr<Picture>> pictures;
    bool isHtml = true;  // false for a plain-text or other non-HTML response shown as text
    // The errors of the page's inline scripts, reported to the host when
    // the page is shown.
    std::vector<ScriptErrorRecord> scriptErrors;
};

// How a control currently shows its pages.
struct PaintSettings {
    int zoomPercent = 100;      // the engine's optical zoom (stays 100 here)
    int textSizePercent = 100;  // from the text-size level (OLECMDID_ZOOM 0..4)
    bool showImages = true;     // DLCTL_DLIMAGES
};

// The text-size percentage of an OLECMDID_ZOOM level (0 smallest to 4 largest).
int TextSizePercent(int level);

// A drawn piece of a link, in device coordinates of the paint.
struct PageHit {
    const Page* page = nullptr;   // the page (top or frame) holding the link
    std::size_t link = 0;         // index into page->document.links
    RECT rect{};
};

struct PaintResult {
    int contentHeight = 0;  // height of the top page's content in pixels
    std::vector<PageHit> links;
};

// Paints a page into `area` of `dc`: an ordinary document with its pictures
// and the documents of its iframes inside their boxes, or for a frameset the
// area divided among its frames as the frameset's rows and cols say, each
// frame's page painted in its part. `area.top` may lie above the visible
// part for a scrolled page.
PaintResult PaintPage(const Page& page, HDC dc, RECT area, const PaintSettings& settings);

}  // namespace standin
