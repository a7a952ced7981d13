// Pictures of the stand-in control: GDI+ decoding of files made here with
// GDI+'s own encoders, drawing into a bitmap, and bytes that are no picture.
#include "engines/browser/picture.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include "engines/render/tests/canvas.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

namespace {

using standin::DecodePicture;

// Starts GDI+ for the encoders used here (it counts its starts).
struct GdiplusSession {
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
    ~GdiplusSession() { Gdiplus::GdiplusShutdown(token); }
    ULONG_PTR token = 0;
};

bool EncoderClsid(const wchar_t* mimeType, CLSID* clsid) {
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (wcscmp(codecs[i].MimeType, mimeType) == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// A width x height picture, left half red and right half blue, with its top
// row transparent when `transparentTop`, in the format of `mimeType`.
std::string MakePicture(const wchar_t* mimeType, int width, int height, bool transparentTop = false) {
    GdiplusSession session;
    std::string bytes;
    CLSID clsid;
    if (!EncoderClsid(mimeType, &clsid)) return bytes;
    {
        Gdiplus::Bitmap bitmap(width, height, PixelFormat32bppARGB);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                Gdiplus::Color color = x < width / 2 ? Gdiplus::Color(255, 255, 0, 0) : Gdiplus::Color(255, 0, 0, 255);
                if (transparentTop && y == 0) color = Gdiplus::Color(0, 0, 0, 0);
                bitmap.SetPixel(x, y, color);
            }
        IStream* stream = SHCreateMemStream(nullptr, 0);
        if (!stream) return bytes;
        if (bitmap.Save(stream, &clsid, nullptr) == Gdiplus::Ok) {
            STATSTG stat{};
            stream->Stat(&stat, STATFLAG_NONAME);
            LARGE_INTEGER zero{};
            stream->Seek(zero, STREAM_SEEK_SET, nullptr);
            bytes.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
            ULONG read = 0;
            stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
            bytes.resize(read);
        }
        stream->Release();
    }
    return bytes;
}

// Draws a picture into a white 32-bpp bitmap and reads its pixels back.
class Canvas : public render_test::Canvas {
public:
    Canvas(int width, int height) : render_test::Canvas(width, height) { Fill(RGB(255, 255, 255)); }
    HDC Dc() const { return dc(); }
    // 0xRRGGBB at (x, y).
    unsigned Pixel(int x, int y) const {
        const COLORREF c = At(x, y);
        return (unsigned(GetRValue(c)) << 16) | (unsigned(GetGValue(c)) << 8) | GetBValue(c);
    }
};

// Whether a colour is close to the expected one (scaling may blend a little).
bool Near(unsigned actual, unsigned expected) {
    for (int shift = 0; shift < 24; shift += 8) {
        int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
        if (a - e > 24 || e - a > 24) return false;
    }
    return true;
}

TEST(PictureDecode, PngSizeAndDraw) {
    std::string png = MakePicture(L"image/png", 4, 3);
    ASSERT_GT(png.size(), 8u);
    ASSERT_EQ(png.substr(1, 3), "PNG");
    auto picture = DecodePicture(png);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Size().cx, 4);
    EXPECT_EQ(picture->Size().cy, 3);

    Canvas canvas(60, 40);
    RECT rect{10, 5, 50, 35};  // stretched ten times
    picture->Draw(canvas.Dc(), rect);
    EXPECT_TRUE(Near(canvas.Pixel(15, 20), 0xFF0000)) << std::hex << canvas.Pixel(15, 20);
    EXPECT_TRUE(Near(canvas.Pixel(45, 20), 0x0000FF)) << std::hex << canvas.Pixel(45, 20);
    EXPECT_EQ(canvas.Pixel(5, 20), 0xFFFFFFu);   // outside the rectangle
    EXPECT_EQ(canvas.Pixel(55, 20), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(30, 2), 0xFFFFFFu);
}

TEST(PictureDecode, TransparencyShowsWhatIsBelow) {
    std::string png = MakePicture(L"image/png", 4, 4, true);
    auto picture = DecodePicture(png);
    ASSERT_TRUE(picture);
    Canvas canvas(4, 4);
    picture->Draw(canvas.Dc(), RECT{0, 0, 4, 4});  // unscaled: no blending between rows
    EXPECT_TRUE(Near(canvas.Pixel(1, 0), 0xFFFFFF)) << std::hex << canvas.Pixel(1, 0);
    EXPECT_TRUE(Near(canvas.Pixel(1, 2), 0xFF0000)) << std::hex << canvas.Pixel(1, 2);
    EXPECT_TRUE(Near(canvas.Pixel(3, 3), 0x0000FF)) << std::hex << canvas.Pixel(3, 3);
}

TEST(PictureDecode, GifBmpAndJpeg) {
    // A 1x1 GIF whose only pixel is red, written out by hand.
    const std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                          ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                          35);
    auto fromGif = DecodePicture(gif);
    ASSERT_TRUE(fromGif);
    EXPECT_EQ(fromGif->Size().cx, 1);
    EXPECT_EQ(fromGif->Size().cy, 1);
    Canvas canvas(8, 8);
    fromGif->Draw(canvas.Dc(), RECT{0, 0, 8, 8});
    EXPECT_TRUE(Near(canvas.Pixel(4, 4), 0xFF0000)) << std::hex << canvas.Pixel(4, 4);

    std::string bmp = MakePicture(L"image/bmp", 6, 5);
    ASSERT_EQ(bmp.substr(0, 2), "BM");
    auto fromBmp = DecodePicture(bmp);
    ASSERT_TRUE(fromBmp);
    EXPECT_EQ(fromBmp->Size().cx, 6);
    EXPECT_EQ(fromBmp->Size().cy, 5);

    std::string jpeg = MakePicture(L"image/jpeg", 16, 8);
    if (!jpeg.empty()) {  // the JPEG encoder is optional in GDI+ builds
        auto fromJpeg = DecodePicture(jpeg);
        ASSERT_TRUE(fromJpeg);
        EXPECT_EQ(fromJpeg->Size().cx, 16);
        EXPECT_EQ(fromJpeg->Size().cy, 8);
    }
}

TEST(PictureDecode, GarbageGivesNull) {
    EXPECT_FALSE(DecodePicture(""));
    EXPECT_FALSE(DecodePicture("GIF"));
    EXPECT_FALSE(DecodePicture("<html><body>Not found</body></html>"));
    std::mt19937 random(7);
    for (int i = 0; i < 50; ++i) {
        std::string bytes(1 + random() % 2000, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        bytes[0] = 'x';  // no accidental signature
        EXPECT_FALSE(DecodePicture(bytes)) << i;
    }
}

TEST(PictureDecode, TruncatedAndDamagedFilesDoNotCrash) {
    std::string png = MakePicture(L"image/png", 8, 8);
    std::string bmp = MakePicture(L"image/bmp", 8, 8);
    ASSERT_FALSE(png.empty());
    ASSERT_FALSE(bmp.empty());
    std::size_t decoded = 0, tried = 0;
    for (const std::string* file : {&png, &bmp}) {
        for (std::size_t n = 0; n < file->size(); n += 3) {
            auto picture = DecodePicture(file->substr(0, n));
            ++tried;
            if (picture) {
                ++decoded;
                EXPECT_EQ(picture->Size().cx, 8);  // anything decoded has the real size
                Canvas canvas(8, 8);
                picture->Draw(canvas.Dc(), RECT{0, 0, 8, 8});
            }
        }
        // Damaged bytes after the signature.
        std::mt19937 random(11);
        for (int i = 0; i < 40; ++i) {
            std::string damaged = *file;
            for (int k = 0; k < 6; ++k) damaged[8 + random() % (damaged.size() - 8)] = static_cast<char>(random());
            auto picture = DecodePicture(damaged);
            ++tried;
            if (picture) {
                EXPECT_GT(picture->Size().cx, 0);
                Canvas canvas(8, 8);
                picture->Draw(canvas.Dc(), RECT{0, 0, 8, 8});
            }
        }
    }
    EXPECT_LT(decoded, tried);  // the very short prefixes at least are refused
}

TEST(PictureDecode, ManyThreadsAtOnce) {
    std::string png = MakePicture(L"image/png", 5, 7);
    ASSERT_FALSE(png.empty());
    std::vector<std::thread> threads;
    std::vector<int> ok(6, 0);
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                auto picture = DecodePicture(png);
                if (picture && picture->Size().cx == 5 && picture->Size().cy == 7) ++ok[t];
            }
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 6; ++t) EXPECT_EQ(ok[t], 20) << t;
}

TEST(PictureDecode, DrawIntoEmptyRectangleDoesNothing) {
    auto picture = DecodePicture(MakePicture(L"image/png", 2, 2));
    ASSERT_TRUE(picture);
    Canvas canvas(4, 4);
    picture->Draw(canvas.Dc(), RECT{2, 2, 2, 2});
    picture->Draw(canvas.Dc(), RECT{3, 3, 1, 1});
    picture->Draw(nullptr, RECT{0, 0, 4, 4});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.Pixel(x, y), 0xFFFFFFu);
}

}  // namespace
