#include "content_mirror.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeaderBytes = 16;
constexpr size_t kMappingBytes = kHeaderBytes + size_t{kMaxPictureWidth} * kMaxPictureHeight * 4;
// How long the painting of one window may take before it is left out (the
// content's thread may be busy; the next look tries again).
constexpr UINT kPrintWaitMs = 300;

std::wstring MappingName(const std::wstring& pipeName) {
    // The pipe's own name (after "\\.\pipe\") is unique per tab.
    const size_t slash = pipeName.find_last_of(L'\\');
    return L"Local\\vantrell.picture." + (slash == std::wstring::npos ? pipeName : pipeName.substr(slash + 1));
}

struct Header {
    volatile LONG sequence;
    DWORD width;
    DWORD height;
    DWORD reserved;
};
static_assert(sizeof(Header) == kHeaderBytes);

// Paints `window` and its visible children, bottom of the z-order first, at
// `origin` of `dc`. WM_PRINT's own PRF_CHILDREN is not honoured by Wine.
void PrintTree(HWND window, HDC dc, POINT origin, const RECT& parentRect) {
    RECT rect{};
    GetWindowRect(window, &rect);
    const POINT at{origin.x + rect.left - parentRect.left, origin.y + rect.top - parentRect.top};
    const int saved = SaveDC(dc);
    SetViewportOrgEx(dc, at.x, at.y, nullptr);
    IntersectClipRect(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_PRINT, reinterpret_cast<WPARAM>(dc),
                        PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND, SMTO_ABORTIFHUNG, kPrintWaitMs, &result);
    std::vector<HWND> children;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) children.push_back(c);
    // Painted below the window's own drawing, within its client area only.
    RECT client{};
    GetClientRect(window, &client);
    POINT clientAt{0, 0};
    ClientToScreen(window, &clientAt);
    IntersectClipRect(dc, clientAt.x - rect.left, clientAt.y - rect.top, clientAt.x - rect.left + client.right,
                      clientAt.y - rect.top + client.bottom);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        SetViewportOrgEx(dc, 0, 0, nullptr);
        PrintTree(*it, dc, at, rect);
    }
    RestoreDC(dc, saved);
}

std::uint64_t Hash(const std::uint32_t* pixels, size_t count) {
    std::uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < count; ++i) h = (h ^ pixels[i]) * 1099511628211ull;
    return h;
}

} // namespace

CContentPictureWriter::~CContentPictureWriter() {
    if (m_pView) UnmapViewOfFile(m_pView);
}

bool CContentPictureWriter::Create(const std::wstring& pipeName) {
    m_hMapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(static_cast<std::uint64_t>(kMappingBytes) >> 32),
                                        static_cast<DWORD>(kMappingBytes), MappingName(pipeName).c_str()));
    if (!m_hMapping) return false;
    m_pView = MapViewOfFile(m_hMapping.get(), FILE_MAP_WRITE, 0, 0, kMappingBytes);
    return m_pView != nullptr;
}

bool CContentPictureWriter::Capture(HWND content) {
    if (!m_pView || !IsWindow(content)) return false;
    const bool visible = IsWindowVisible(content) != FALSE;
    const bool shownAgain = visible && !m_bWasVisible;
    m_bWasVisible = visible;
    if (!visible) return false;
    RECT rect{};
    GetWindowRect(content, &rect);
    const LONG width = std::min<LONG>(rect.right - rect.left, kMaxPictureWidth);
    const LONG height = std::min<LONG>(rect.bottom - rect.top, kMaxPictureHeight);
    if (width <= 0 || height <= 0) return false;

    const BITMAPINFO info = fw::TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    fw::Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    fw::MemoryDC dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc || !bits) return false;
    {
        fw::Selection select(dc.get(), bitmap.get());
        // What no window paints on request (Wine leaves out scroll bars)
        // shows as the face colour rather than black.
        const RECT all{0, 0, width, height};
        FillRect(dc.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
        PrintTree(content, dc.get(), POINT{0, 0}, rect);
        GdiFlush();
    }
    const size_t count = static_cast<size_t>(width) * height;
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    const std::uint64_t hash = Hash(pixels, count);
    if (!shownAgain && hash == m_lastHash && width == m_lastSize.cx && height == m_lastSize.cy) return false;
    m_lastHash = hash;
    m_lastSize = SIZE{width, height};

    auto* header = static_cast<Header*>(m_pView);
    InterlockedExchange(&header->sequence, static_cast<LONG>(++m_sequence * 2 - 1));
    header->width = static_cast<DWORD>(width);
    header->height = static_cast<DWORD>(height);
    std::memcpy(static_cast<BYTE*>(m_pView) + kHeaderBytes, pixels, count * 4);
    InterlockedExchange(&header->sequence, static_cast<LONG>(m_sequence * 2));
    return true;
}

CContentPictureReader::~CContentPictureReader() {
    if (m_pView) UnmapViewOfFile(m_pView);
}

bool CContentPictureReader::Draw(HWND view, const std::wstring& pipeName) {
    if (!m_pView) {
        m_hMapping.reset(OpenFileMappingW(FILE_MAP_READ, FALSE, MappingName(pipeName).c_str()));
        if (!m_hMapping) return false;
        m_pView = MapViewOfFile(m_hMapping.get(), FILE_MAP_READ, 0, 0, kMappingBytes);
        if (!m_pView) return false;
    }
    const auto* header = static_cast<const Header*>(m_pView);
    const LONG before = header->sequence;
    const DWORD width = header->width, height = header->height;
    if ((before & 1) || width == 0 || height == 0 || width > kMaxPictureWidth || height > kMaxPictureHeight)
        return false;
    const size_t count = size_t{width} * height;
    m_pixels.resize(count);
    std::memcpy(m_pixels.data(), static_cast<const BYTE*>(m_pView) + kHeaderBytes, count * 4);
    MemoryBarrier();
    if (header->sequence != before) return false;

    const BITMAPINFO info = fw::TopDownBitmapInfo(width, height);
    // Not clipped by the view's children: the picture goes where they are.
    HDC dc = GetDCEx(view, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (!dc) return false;
    const int lines = SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, m_pixels.data(), &info,
                                        DIB_RGB_COLORS);
    ReleaseDC(view, dc);
    return lines > 0;
}
