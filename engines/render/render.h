#pragma once
// The stand-in engines' HTML core: parses a practical subset of HTML into a
// tree (with Internet Explorer conditional comments decided for one engine
// version) and lays it out and paints it with GDI.
//
// Engine versions are given as 5 (meaning 5.5, the only 5.x engine here), 6,
// 7, 8 or 9; 55 is also accepted for 5.5.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace render {

// One node of the tree. Elements have a lower-case `tag`; text nodes have an
// empty tag and their decoded characters in `text`.
struct Element {
    std::wstring tag;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;  // names lower case
    std::wstring text;
    // Style declarations set at run time (the element's runtimeStyle). They
    // win over the style attribute; only "zoom" is used in layout.
    std::wstring runtimeStyle;
    std::vector<std::unique_ptr<Element>> children;
    Element* parent = nullptr;

    bool IsText() const { return tag.empty(); }
    // The value of an attribute, or null when absent. Names compare without case.
    const std::wstring* Attribute(std::wstring_view name) const;
    // All descendant text, concatenated as it appears in the source.
    std::wstring TextContent() const;
};

struct Frame {
    std::wstring tag;  // "frame" or "iframe"
    std::wstring src;
    std::wstring name;
};

struct Link {
    std::wstring href;
    std::wstring target;
    std::wstring text;  // whitespace collapsed and trimmed
    const Element* element = nullptr;
};

class Document {
public:
    Document();

    std::wstring title;                 // first <title>, whitespace collapsed
    std::optional<COLORREF> background; // <body bgcolor> or its style background-color
    std::unique_ptr<Element> root;      // tag "#document"
    std::vector<Frame> frames;          // frame and iframe elements in document order
    std::vector<Link> links;            // <a href> elements in document order

    const Element* FindById(std::wstring_view id) const;
    std::vector<const Element*> ElementsByTag(std::wstring_view tag) const;
};

Document ParseHtml(std::wstring_view html, int engineVersion);

// Decides an Internet Explorer conditional comment condition (the text
// between "[if " and "]") for an engine version. Malformed or unknown
// conditions are false.
bool EvaluateCondition(std::wstring_view condition, int engineVersion);

// Parses "#rgb", "#rrggbb", "rrggbb", "rgb(r,g,b)" and the common colour names.
std::optional<COLORREF> ParseColor(std::wstring_view value);

// A style declaration's value ("background-color", "zoom", ...) from a
// style attribute, trimmed; nullopt when absent.
std::optional<std::wstring> StyleValue(std::wstring_view style, std::wstring_view property);

struct LinkHit {
    std::size_t link = 0;  // index into Document::links
    RECT rect{};           // device coordinates of one drawn piece of the link
};

struct LayoutResult {
    int contentHeight = 0;  // pixels from area.top to the bottom of the content
    int contentWidth = 0;   // widest line, from area.left
    // Characters handed to text measurement; layout keeps it within a small
    // multiple of the text's length however the text is made up.
    std::size_t measuredCharacters = 0;
    std::vector<LinkHit> links;
};

struct PaintOptions {
    int zoomPercent = 100;      // scales everything
    int textSizePercent = 100;  // scales the text only (the engine's text size)
    // With false, images are drawn as a box with their alternative text.
    bool showImages = true;
    // The natural size in pixels of an <img>'s picture; false when there is
    // no picture (the alternative-text box is drawn instead). May be empty.
    std::function<bool(const Element& image, SIZE* size)> imageSize;
    // Draws an <img>'s picture stretched to `rect`; called only for images
    // whose imageSize answered true.
    std::function<void(const Element& image, HDC dc, const RECT& rect)> drawImage;
    // Draws the content of an <iframe> inside its box; when empty, the box
    // shows the frame's address.
    std::function<void(const Element& frame, HDC dc, const RECT& rect)> drawFrame;
};

// Lays out the document inside `area` (text wraps at its width), fills the
// area with the background colour (white when none) and paints the content,
// clipped to the area. `area.top` may lie above the device's visible part to
// show a scrolled page.
LayoutResult LayoutAndPaint(const Document& document, HDC dc, RECT area,
                            const PaintOptions& options);

// The same with only a zoom (100 is normal size) and the image switch.
LayoutResult LayoutAndPaint(const Document& document, HDC dc, RECT area,
                            int zoomPercent, bool showImages);

}  // namespace render
