#pragma once
// Pictures of a page: what a tab shows, drawn through the engine's
// IViewObject into memory and written as a PNG file with GDI+.
//
// Called on the thread that owns the object drawn (the tab content's
// thread). GDI+ must have been started in the process (start-up does it).
// Both functions return S_OK or the failure's HRESULT; they write no file
// on failure, apart from what GDI+ left of a file it could not finish.
//
//   fw::ComPtr<IViewObject> view = ...;  // the engine's control or document
//   HRESULT hr = DrawToPng(view.get(), 1024, 768, L"C:\\out\\7.png");
#include <windows.h>
#include <ole2.h>

#include <string>

// Sizes accepted for a picture, in pixels, on either side.
inline constexpr int kMinPictureSide = 16;
inline constexpr int kMaxPictureSide = 8192;

// Draws `view` (DVASPECT_CONTENT) into a white picture of `width` by
// `height` and writes it to `file`. E_INVALIDARG for a null view or a size
// outside the limits; the engine's own failure from IViewObject::Draw.
HRESULT DrawToPng(IViewObject* view, int width, int height, const std::wstring& file);

// Writes `width` by `height` pixels of 32 bits each, top row first, rows
// packed (stride 4 * width), as a PNG file.
HRESULT WritePng(const void* pixels, int width, int height, const std::wstring& file);
