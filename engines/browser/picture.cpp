// Pictures of pages decoded with GDI+. The decoded pixels are copied into a
// buffer of our own, so a picture holds no GDI+ object between paints and
// may be drawn from any thread.
#include "engines/browser/picture.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace standin {

namespace {

// Pictures larger than this many pixels are refused rather than allocated.
constexpr std::uint64_t kMaxPixels = 64ull * 1024 * 1024;

bool StartGdiplus() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        // Left running for the life of the process: pictures may be drawn
        // until the very end, and shutting GDI+ down while another module
        // still uses it is not safe.
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    });
    return started;
}

class BitmapPicture final : public Picture {
public:
    BitmapPicture(int width, int height, std::vector<std::uint32_t> pixels)
        : width_(width), height_(height), pixels_(std::move(pixels)) {}

    SIZE Size() const override { return SIZE{width_, height_}; }

    void Draw(HDC dc, const RECT& rect) const override {
        if (!dc || rect.right <= rect.left || rect.bottom <= rect.top) return;
        // A GDI+ bitmap over our pixels for the length of the call, drawn
        // with its transparency.
        Gdiplus::Bitmap bitmap(width_, height_, width_ * 4, PixelFormat32bppPARGB,
                               reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(pixels_.data())));
        Gdiplus::Graphics graphics(dc);
        if (bitmap.GetLastStatus() != Gdiplus::Ok || graphics.GetLastStatus() != Gdiplus::Ok) return;
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        Gdiplus::ImageAttributes attributes;
        attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);  // no faded edges when stretched
        graphics.DrawImage(&bitmap, Gdiplus::Rect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                           0, 0, width_, height_, Gdiplus::UnitPixel, &attributes);
    }

private:
    int width_, height_;
    std::vector<std::uint32_t> pixels_;  // premultiplied BGRA, rows top down
};

}  // namespace

std::shared_ptr<Picture> DecodePicture(const std::string& bytes) {
    if (bytes.size() < 4 || bytes.size() > 0x7fffffff || !StartGdiplus()) return nullptr;
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (!stream) return nullptr;
    std::shared_ptr<Picture> result;
    {
        Gdiplus::Bitmap bitmap(stream, FALSE);
        if (bitmap.GetLastStatus() == Gdiplus::Ok) {
            UINT width = bitmap.GetWidth(), height = bitmap.GetHeight();
            if (width > 0 && height > 0 && width <= 65535 && height <= 65535 &&
                std::uint64_t(width) * height <= kMaxPixels) {
                Gdiplus::Rect area(0, 0, static_cast<INT>(width), static_cast<INT>(height));
                Gdiplus::BitmapData data{};
                if (bitmap.LockBits(&area, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) ==
                    Gdiplus::Ok) {
                    std::vector<std::uint32_t> pixels(std::size_t(width) * height);
                    const BYTE* row = static_cast<const BYTE*>(data.Scan0);
                    for (UINT y = 0; y < height; ++y, row += data.Stride)
                        memcpy(&pixels[std::size_t(y) * width], row, std::size_t(width) * 4);
                    bitmap.UnlockBits(&data);
                    result = std::make_shared<BitmapPicture>(static_cast<int>(width), static_cast<int>(height),
                                                             std::move(pixels));
                }
            }
        }
    }
    stream->Release();
    return result;
}

}  // namespace standin
