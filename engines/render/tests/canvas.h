#pragma once
// A 32-bit top-down DIB section selected into a memory DC, with pixel access.
#include <windows.h>

#include <cstdint>

namespace render_test {

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<std::uint32_t*>(bits);
        old_ = SelectObject(dc_, bitmap_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool valid() const { return dc_ && bitmap_ && bits_; }

    void Fill(COLORREF color) {
        GdiFlush();
        for (int i = 0; i < width_ * height_; ++i) bits_[i] = ToPixel(color);
    }

    COLORREF At(int x, int y) const {
        GdiFlush();
        std::uint32_t p = bits_[y * width_ + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

private:
    static std::uint32_t ToPixel(COLORREF c) {
        return (std::uint32_t(GetRValue(c)) << 16) | (std::uint32_t(GetGValue(c)) << 8) | GetBValue(c);
    }

    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

}  // namespace render_test
