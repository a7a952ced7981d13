#include "picture_compare.h"

#include "framework/file_bytes.h"

#include "png_codec.h"

#include "browser/page_picture.h"
#include "framework/handles.h"
#include "framework/strings.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The side of the cells the differing pixels are grouped by, and how many
// cells apart two differing cells may be and still share a region.
constexpr int kCell = 8;
constexpr int kReach = 2;
// Above this many boxes the grouping starts again with cells twice as large,
// so the merging below stays cheap on a picture full of scattered noise.
constexpr size_t kMaxBoxesBeforeMerge = 160;
// Boxes closer than this many pixels are merged.
constexpr int kMergeGap = 16;

constexpr std::uint32_t kDiffColour = 0xFFE00000;   // strong red
constexpr std::uint32_t kFrameColour = 0xFF0050FF;  // strong blue

PictureRegion Union(const PictureRegion& a, const PictureRegion& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

long long Area(const PictureRegion& r) { return static_cast<long long>(r.Width()) * r.Height(); }

bool Near(const PictureRegion& a, const PictureRegion& b, int gap) {
    return a.left < b.right + gap && b.left < a.right + gap && a.top < b.bottom + gap && b.top < a.bottom + gap;
}

// The boxes of the differing places when cells of `cell` pixels are grouped.
std::vector<PictureRegion> GroupCells(const std::vector<std::uint8_t>& mask, int width, int height, int cell) {
    const int gw = (width + cell - 1) / cell, gh = (height + cell - 1) / cell;
    // Per cell the tight box of its differing pixels; an empty box (right 0) for none.
    std::vector<PictureRegion> cells(static_cast<size_t>(gw) * gh, PictureRegion{});
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = mask.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (!row[x]) continue;
            PictureRegion& c = cells[static_cast<size_t>(y / cell) * gw + x / cell];
            if (c.right == 0) c = {x, y, x + 1, y + 1};
            else c = Union(c, {x, y, x + 1, y + 1});
        }
    }
    std::vector<PictureRegion> boxes;
    std::vector<std::uint8_t> seen(cells.size(), 0);
    std::vector<int> stack;
    for (size_t start = 0; start < cells.size(); ++start) {
        if (seen[start] || cells[start].right == 0) continue;
        seen[start] = 1;
        PictureRegion box = cells[start];
        stack.assign(1, static_cast<int>(start));
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            const int cx = at % gw, cy = at / gw;
            for (int ny = std::max(0, cy - kReach); ny <= std::min(gh - 1, cy + kReach); ++ny) {
                for (int nx = std::max(0, cx - kReach); nx <= std::min(gw - 1, cx + kReach); ++nx) {
                    const size_t n = static_cast<size_t>(ny) * gw + nx;
                    if (seen[n] || cells[n].right == 0) continue;
                    seen[n] = 1;
                    box = Union(box, cells[n]);
                    stack.push_back(static_cast<int>(n));
                }
            }
        }
        boxes.push_back(box);
    }
    return boxes;
}

// Merges boxes that overlap or nearly touch until none do.
void MergeNear(std::vector<PictureRegion>& boxes) {
    bool merged = true;
    while (merged) {
        merged = false;
        for (size_t i = 0; i < boxes.size() && !merged; ++i) {
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                if (!Near(boxes[i], boxes[j], kMergeGap)) continue;
                boxes[i] = Union(boxes[i], boxes[j]);
                boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(j));
                merged = true;
                break;
            }
        }
    }
}

// Merges the pair whose union adds least area until at most `limit` remain.
void MergeDownTo(std::vector<PictureRegion>& boxes, size_t limit) {
    while (boxes.size() > limit) {
        size_t bi = 0, bj = 1;
        long long best = -1;
        for (size_t i = 0; i < boxes.size(); ++i) {
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                const long long growth = Area(Union(boxes[i], boxes[j])) - Area(boxes[i]) - Area(boxes[j]);
                if (best < 0 || growth < best) {
                    best = growth;
                    bi = i;
                    bj = j;
                }
            }
        }
        boxes[bi] = Union(boxes[bi], boxes[bj]);
        boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(bj));
        MergeNear(boxes);
    }
}

} // namespace

namespace {

bool ReadWholeFile(const std::wstring& file, std::string& bytes, std::wstring& error) {
    switch (fw::ReadFileBytes(file, 512ULL * 1024 * 1024, bytes, error)) {
    case fw::ReadBytesResult::Ok: return true;
    case fw::ReadBytesResult::TooLarge: error = L"the picture file is too large"; return false;
    case fw::ReadBytesResult::Failed: return false;
    }
    return false;
}

} // namespace

bool LoadPicture(const std::wstring& file, Pixels& out, std::wstring& error) {
    out = Pixels{};
    std::string bytes;
    if (!ReadWholeFile(file, bytes, error)) return false;
    // The capture's own pictures are read directly; other kinds through GDI+.
    bool unsupported = false;
    if (DecodePng(bytes, out, unsupported, error)) return true;
    if (!unsupported) return false;
    bytes.clear();
    Gdiplus::Bitmap bitmap(file.c_str());
    if (bitmap.GetLastStatus() != Gdiplus::Ok) {
        error = fw::Format(L"not a picture that can be read (GDI+ status %d)", static_cast<int>(bitmap.GetLastStatus()));
        return false;
    }
    const int width = static_cast<int>(bitmap.GetWidth()), height = static_cast<int>(bitmap.GetHeight());
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
        error = fw::Format(L"the picture's size %d x %d is outside 1 to %d pixels a side", width, height,
                           kMaxPictureSide);
        return false;
    }
    Gdiplus::Rect all(0, 0, width, height);
    Gdiplus::BitmapData data{};
    if (const Gdiplus::Status status = bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data);
        status != Gdiplus::Ok) {
        error = fw::Format(L"the picture's pixels cannot be read (GDI+ status %d)", static_cast<int>(status));
        return false;
    }
    out.width = width;
    out.height = height;
    out.argb.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(data.Scan0) +
                                                                 static_cast<std::ptrdiff_t>(y) * data.Stride);
        std::copy(row, row + width, out.argb.begin() + static_cast<std::ptrdiff_t>(y) * width);
    }
    bitmap.UnlockBits(&data);
    return true;
}

PictureDifference ComparePictures(const Pixels& picture, const Pixels& other, int tolerance) {
    PictureDifference d;
    d.width = picture.width;
    d.height = picture.height;
    d.otherWidth = other.width;
    d.otherHeight = other.height;
    const int w = std::min(picture.width, other.width), h = std::min(picture.height, other.height);
    if (w <= 0 || h <= 0 || picture.argb.size() < static_cast<size_t>(picture.width) * picture.height ||
        other.argb.size() < static_cast<size_t>(other.width) * other.height)
        return d;
    tolerance = std::clamp(tolerance, 0, 255);
    d.compared = static_cast<std::uint64_t>(w) * h;
    d.mask.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* a = picture.argb.data() + static_cast<size_t>(y) * picture.width;
        const std::uint32_t* b = other.argb.data() + static_cast<size_t>(y) * other.width;
        std::uint8_t* m = d.mask.data() + static_cast<size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t pa = a[x], pb = b[x];
            if (((pa ^ pb) & 0xFFFFFF) == 0) continue;
            const int dr = std::abs(static_cast<int>((pa >> 16) & 0xFF) - static_cast<int>((pb >> 16) & 0xFF));
            const int dg = std::abs(static_cast<int>((pa >> 8) & 0xFF) - static_cast<int>((pb >> 8) & 0xFF));
            const int db = std::abs(static_cast<int>(pa & 0xFF) - static_cast<int>(pb & 0xFF));
            if (dr > tolerance || dg > tolerance || db > tolerance) {
                m[x] = 1;
                ++d.differing;
            }
        }
    }
    if (d.differing == 0) return d;
    int cell = kCell;
    std::vector<PictureRegion> boxes = GroupCells(d.mask, w, h, cell);
    while (boxes.size() > kMaxBoxesBeforeMerge && cell < std::max(w, h)) {
        cell *= 2;
        boxes = GroupCells(d.mask, w, h, cell);
    }
    MergeNear(boxes);
    MergeDownTo(boxes, kMaxDifferenceRegions);
    std::sort(boxes.begin(), boxes.end(), [](const PictureRegion& a, const PictureRegion& b) {
        if (Area(a) != Area(b)) return Area(a) > Area(b);
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    d.regions = std::move(boxes);
    return d;
}

Pixels MakeDiffPicture(const Pixels& other, const PictureDifference& difference) {
    Pixels out;
    out.width = other.width;
    out.height = other.height;
    out.argb.resize(static_cast<size_t>(out.width) * out.height);
    // 30% of the reference over 70% white, by table.
    std::uint32_t fade[256];
    for (std::uint32_t c = 0; c < 256; ++c) fade[c] = (c * 30 + 255 * 70 + 50) / 100;
    const size_t n = std::min(out.argb.size(), other.argb.size());
    const std::uint32_t* in = other.argb.data();
    std::uint32_t* o = out.argb.data();
    for (size_t i = 0; i < n; ++i) {
        const std::uint32_t p = in[i];
        o[i] = 0xFF000000u | (fade[(p >> 16) & 0xFF] << 16) | (fade[(p >> 8) & 0xFF] << 8) | fade[p & 0xFF];
    }
    const int w = std::min(difference.width, difference.otherWidth);
    const int h = std::min(difference.height, difference.otherHeight);
    if (w > 0 && h > 0 && difference.mask.size() == static_cast<size_t>(w) * h && w <= out.width && h <= out.height) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (difference.mask[static_cast<size_t>(y) * w + x])
                    out.argb[static_cast<size_t>(y) * out.width + x] = kDiffColour;
    }
    // A frame two pixels wide just outside each region.
    auto plot = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < out.width && y < out.height)
            out.argb[static_cast<size_t>(y) * out.width + x] = kFrameColour;
    };
    for (const PictureRegion& r : difference.regions) {
        for (int t = 1; t <= 2; ++t) {
            for (int x = r.left - t; x < r.right + t; ++x) {
                plot(x, r.top - t);
                plot(x, r.bottom + t - 1);
            }
            for (int y = r.top - t; y < r.bottom + t; ++y) {
                plot(r.left - t, y);
                plot(r.right + t - 1, y);
            }
        }
    }
    return out;
}

bool SavePicture(const Pixels& picture, const std::wstring& file, std::wstring& error) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.argb.size() != static_cast<size_t>(picture.width) * picture.height) {
        error = L"empty picture";
        return false;
    }
    std::string bytes;
    if (!EncodePng(picture, bytes, error)) return false;
    fw::UniqueHandle handle(
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!handle || !WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        error = fw::DescribeSystemError(nullptr, GetLastError());
        handle.reset();
        DeleteFileW(file.c_str());
        return false;
    }
    return true;
}

std::wstring FormatPercent(double percent) {
    // Whole hundredths, rounded half up, printed without the locale's help.
    const auto hundredths = static_cast<unsigned long long>(std::llround(std::max(0.0, percent) * 100.0));
    return fw::Format(L"%llu.%02llu", hundredths / 100, hundredths % 100);
}

std::wstring FormatRegions(const std::vector<PictureRegion>& regions) {
    std::wstring out;
    for (const PictureRegion& r : regions) {
        if (!out.empty()) out += L"; ";
        out += fw::Format(L"%d,%d %dx%d", r.left, r.top, r.Width(), r.Height());
    }
    return out;
}
