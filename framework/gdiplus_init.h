#pragma once
// fw::GdiplusInit: GDI+ for the process, from construction to destruction
// (GdiplusStartup and GdiplusShutdown). Made and destroyed on one thread,
// outside DllMain; every GDI+ object must be gone before it ends. Check
// ok() before drawing with GDI+; a failed start undoes nothing.
//
//   fw::GdiplusInit gdiplus;
//   if (!gdiplus.ok()) Report(gdiplus.status());
//
// Users link gdiplus.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

namespace fw {

class GdiplusInit {
public:
    GdiplusInit() {
        Gdiplus::GdiplusStartupInput input;
        m_status = Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
    }
    ~GdiplusInit() {
        if (m_status == Gdiplus::Ok) Gdiplus::GdiplusShutdown(m_token);
    }
    GdiplusInit(const GdiplusInit&) = delete;
    GdiplusInit& operator=(const GdiplusInit&) = delete;

    bool ok() const { return m_status == Gdiplus::Ok; }
    Gdiplus::Status status() const { return m_status; }

private:
    ULONG_PTR m_token = 0;
    Gdiplus::Status m_status = Gdiplus::GenericError;
};

} // namespace fw
