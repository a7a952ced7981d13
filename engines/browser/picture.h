#pragma once
// A decoded image of a page (GIF, JPEG, PNG, BMP) drawn with GDI+.
#include <windows.h>

#include <memory>
#include <string>

namespace standin {

class Picture {
public:
    virtual ~Picture() = default;
    virtual SIZE Size() const = 0;
    // Draws the picture stretched to `rect`.
    virtual void Draw(HDC dc, const RECT& rect) const = 0;
};

// Decodes image file bytes; null when they are not a picture GDI+ can read.
// GDI+ is started on first use and stays started for the process.
std::shared_ptr<Picture> DecodePicture(const std::string& bytes);

}  // namespace standin
