#pragma once
// PNG files read and written directly with zlib, for the pictures a capture
// checks: much quicker than GDI+ for the 8-bit RGB and RGBA pictures the
// capture writes, which is most of what checking costs.
//
// Plain functions on values; any thread. DecodePng takes 8-bit truecolour
// (RGB or RGBA) and 8-bit grey pictures that are not interlaced and says
// `unsupported` for any other kind, which the caller then reads through
// GDI+; damaged data (a bad length, CRC, filter or zlib stream, a size that
// does not match) is an error, never a crash. EncodePng writes 8-bit RGB.
//
//   std::string bytes = ...;  // the file
//   Pixels p;
//   bool unsupported = false;
//   std::wstring error;
//   if (!DecodePng(bytes, p, unsupported, error) && unsupported) { ... GDI+ ... }
#include "picture_compare.h"

#include <string>

// A picture larger than this many pixels is refused.
constexpr std::uint64_t kMaxPngPixels = 8192ull * 8192ull;

[[nodiscard]] bool DecodePng(const std::string& bytes, Pixels& out, bool& unsupported, std::wstring& error);
// The alpha of the pixels is dropped; fast compression.
[[nodiscard]] bool EncodePng(const Pixels& picture, std::string& out, std::wstring& error);
