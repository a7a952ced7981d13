#pragma once
// Comparing two pictures of a page pixel by pixel: the share of pixels that
// differ, the boxes around the places where they differ, and a picture that
// shows them.
//
// Plain functions on values; any thread. LoadPicture and SaveDiffPicture
// need GDI+ started in the process. Failures come back as false with the
// reason in `error`; nothing here throws or crashes on a damaged file or on
// pictures of different sizes.
//
//   Pixels a, b;
//   std::wstring error;
//   if (LoadPicture(L"C:\\out\\7.png", a, error) && LoadPicture(L"C:\\out\\8.png", b, error)) {
//       PictureDifference d = ComparePictures(a, b, 16);
//       if (d.Percent() > 0.1) { ... d.regions ... }
//       (void)SaveDiffPicture(b, d, L"C:\\out\\7.diff.png", error);
//   }
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A picture in memory: 0xAARRGGBB values, top row first, `width` per row.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;
};

// A box in pixels; the right and bottom edges are outside it.
struct PictureRegion {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PictureRegion& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct PictureDifference {
    // The sizes of the picture and of the one it was compared with.
    int width = 0, height = 0;
    int otherWidth = 0, otherHeight = 0;
    // The pixels compared (the area both pictures have) and those of them
    // that differ.
    std::uint64_t compared = 0;
    std::uint64_t differing = 0;
    // Boxes around the differing places, neighbours merged, at most
    // kMaxDifferenceRegions, largest first.
    std::vector<PictureRegion> regions;
    // One byte per pixel of the common area (its width is
    // min(width, otherWidth)), nonzero where the pixels differ.
    std::vector<std::uint8_t> mask;

    bool SizeDiffers() const { return width != otherWidth || height != otherHeight; }
    // The share of differing pixels in percent; 0 when nothing was compared.
    double Percent() const { return compared ? 100.0 * static_cast<double>(differing) / compared : 0.0; }
};

constexpr size_t kMaxDifferenceRegions = 20;

// Reads a picture file (PNG or any format GDI+ reads).
[[nodiscard]] bool LoadPicture(const std::wstring& file, Pixels& out, std::wstring& error);

// Compares `picture` with `other` over the area both have. A pixel differs
// when one of its red, green and blue values differs by more than
// `tolerance` (0-255). Regions: differing pixels closer than about 16 pixels
// to each other share a box; when there are more than kMaxDifferenceRegions
// boxes, the pairs whose union grows least are merged until there are not.
PictureDifference ComparePictures(const Pixels& picture, const Pixels& other, int tolerance);

// The picture of a difference: `other` (the reference) faded to 30% over
// white, the differing pixels in a strong red, each region framed in blue.
// It has the reference's size.
Pixels MakeDiffPicture(const Pixels& other, const PictureDifference& difference);
[[nodiscard]] bool SavePicture(const Pixels& picture, const std::wstring& file, std::wstring& error);

// "3.45": a percentage with two decimals, whatever the locale.
std::wstring FormatPercent(double percent);
// "x,y WxH; x,y WxH": the regions for a message.
std::wstring FormatRegions(const std::vector<PictureRegion>& regions);
