#include "page_picture.h"

#include "framework/handles.h"

#include <objidl.h>
#include <gdiplus.h>

#include <optional>
#include <vector>

namespace {

// The class id of GDI+'s PNG encoder, found by its MIME type.
bool PngEncoder(CLSID& out) {
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0 || bytes == 0) return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            out = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

HRESULT FromGdiplus(Gdiplus::Status status, DWORD lastError) {
    switch (status) {
    case Gdiplus::Ok: return S_OK;
    case Gdiplus::OutOfMemory: return E_OUTOFMEMORY;
    case Gdiplus::InvalidParameter: return E_INVALIDARG;
    case Gdiplus::AccessDenied: return E_ACCESSDENIED;
    case Gdiplus::FileNotFound: return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case Gdiplus::GdiplusNotInitialized: return CO_E_NOTINITIALIZED;
    case Gdiplus::Win32Error: return lastError ? HRESULT_FROM_WIN32(lastError) : E_FAIL;
    default: return E_FAIL;
    }
}

// A memory device context with a 32-bit top-down DIB section selected,
// released in reverse order.
class MemoryPicture {
public:
    MemoryPicture(int width, int height) : m_dc(CreateCompatibleDC(nullptr)) {
        const BITMAPINFO info = fw::TopDownBitmapInfo(width, height);
        if (!m_dc) return;
        m_bitmap.reset(CreateDIBSection(m_dc.get(), &info, DIB_RGB_COLORS, &m_bits, nullptr, 0));
        if (m_bitmap) m_selection.emplace(m_dc.get(), m_bitmap.get());
    }
    MemoryPicture(const MemoryPicture&) = delete;
    MemoryPicture& operator=(const MemoryPicture&) = delete;

    bool ok() const { return m_dc && m_bitmap && m_bits; }
    HDC dc() const { return m_dc.get(); }
    const void* bits() const { return m_bits; }

private:
    // Members go in reverse: the selection is undone, then the bitmap and
    // the DC are deleted.
    fw::MemoryDC m_dc;
    fw::Bitmap m_bitmap;
    std::optional<fw::Selection> m_selection;
    void* m_bits = nullptr;
};

} // namespace

HRESULT WritePng(const void* pixels, int width, int height, const std::wstring& file) {
    if (!pixels || width < kMinPictureSide || height < kMinPictureSide || width > kMaxPictureSide ||
        height > kMaxPictureSide || file.empty())
        return E_INVALIDARG;
    CLSID png;
    if (!PngEncoder(png)) return REGDB_E_CLASSNOTREG;
    Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppRGB,
                           static_cast<BYTE*>(const_cast<void*>(pixels)));
    if (Gdiplus::Status status = bitmap.GetLastStatus(); status != Gdiplus::Ok) return FromGdiplus(status, 0);
    SetLastError(0);
    const Gdiplus::Status status = bitmap.Save(file.c_str(), &png, nullptr);
    return FromGdiplus(status, GetLastError());
}

HRESULT DrawToPng(IViewObject* view, int width, int height, const std::wstring& file) {
    if (!view || width < kMinPictureSide || height < kMinPictureSide || width > kMaxPictureSide ||
        height > kMaxPictureSide)
        return E_INVALIDARG;
    MemoryPicture picture(width, height);
    if (!picture.ok()) return E_OUTOFMEMORY;
    RECT area{0, 0, width, height};
    FillRect(picture.dc(), &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECTL bounds{0, 0, width, height};
    HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, picture.dc(), &bounds, nullptr,
                            nullptr, 0);
    if (FAILED(hr)) return hr;
    GdiFlush();
    return WritePng(picture.bits(), width, height, file);
}
