#include "png_codec.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t Be32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

void PutBe32(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void PutChunk(std::string& out, const char type[4], const unsigned char* data, size_t size) {
    PutBe32(out, static_cast<std::uint32_t>(size));
    const size_t start = out.size();
    out.append(type, 4);
    out.append(reinterpret_cast<const char*>(data), size);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + start), static_cast<uInt>(size + 4));
    PutBe32(out, static_cast<std::uint32_t>(crc));
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Undoes the row filters in place; false for an unknown filter.
bool Unfilter(unsigned char* data, size_t rowBytes, size_t rows, size_t bpp) {
    const unsigned char* previous = nullptr;
    for (size_t y = 0; y < rows; ++y) {
        unsigned char* row = data + y * (rowBytes + 1);
        const unsigned char filter = row[0];
        unsigned char* p = row + 1;
        switch (filter) {
        case 0: break;
        case 1:
            for (size_t i = bpp; i < rowBytes; ++i) p[i] = static_cast<unsigned char>(p[i] + p[i - bpp]);
            break;
        case 2:
            if (previous)
                for (size_t i = 0; i < rowBytes; ++i) p[i] = static_cast<unsigned char>(p[i] + previous[i]);
            break;
        case 3:
            for (size_t i = 0; i < rowBytes; ++i) {
                const int left = i >= bpp ? p[i - bpp] : 0, up = previous ? previous[i] : 0;
                p[i] = static_cast<unsigned char>(p[i] + ((left + up) >> 1));
            }
            break;
        case 4:
            for (size_t i = 0; i < rowBytes; ++i) {
                const int left = i >= bpp ? p[i - bpp] : 0, up = previous ? previous[i] : 0;
                const int corner = i >= bpp && previous ? previous[i - bpp] : 0;
                p[i] = static_cast<unsigned char>(p[i] + Paeth(left, up, corner));
            }
            break;
        default: return false;
        }
        previous = p;
    }
    return true;
}

} // namespace

bool DecodePng(const std::string& bytes, Pixels& out, bool& unsupported, std::wstring& error) {
    out = Pixels{};
    unsupported = false;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    if (size < 8 || std::memcmp(data, kSignature, 8) != 0) {
        unsupported = true;  // another format: GDI+ may know it
        error = L"not a PNG file";
        return false;
    }
    std::uint32_t width = 0, height = 0;
    unsigned channels = 0;
    bool header = false, end = false;
    std::string compressed;
    for (size_t at = 8; at < size && !end;) {
        if (size - at < 12) {
            error = L"the PNG file is cut short";
            return false;
        }
        const std::uint32_t length = Be32(data + at);
        if (length > size - at - 12) {
            error = L"a PNG chunk is longer than the file";
            return false;
        }
        const unsigned char* type = data + at + 4;
        const unsigned char* body = data + at + 8;
        const uLong crc = crc32(0, type, length + 4);
        if (crc != Be32(body + length)) {
            error = L"a PNG chunk is damaged (CRC)";
            return false;
        }
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13) {
                error = L"the PNG header is damaged";
                return false;
            }
            width = Be32(body);
            height = Be32(body + 4);
            const unsigned depth = body[8], colour = body[9], interlace = body[12];
            if (depth != 8 || interlace != 0 || (colour != 0 && colour != 2 && colour != 6)) {
                unsupported = true;
                error = L"a kind of PNG read through GDI+";
                return false;
            }
            channels = colour == 0 ? 1 : colour == 2 ? 3 : 4;
            header = true;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            compressed.append(reinterpret_cast<const char*>(body), length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            end = true;
        } else if (!(type[0] & 0x20)) {
            // A critical chunk this reader does not know (a palette...).
            unsupported = true;
            error = L"a kind of PNG read through GDI+";
            return false;
        }
        at += 12 + static_cast<size_t>(length);
    }
    if (!header || width == 0 || height == 0 || static_cast<std::uint64_t>(width) * height > kMaxPngPixels) {
        error = L"the PNG file has no usable size";
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(width) * channels;
    const size_t rawSize = (rowBytes + 1) * height;
    std::string raw(rawSize, '\0');
    uLongf rawLength = static_cast<uLongf>(rawSize);
    const int z = uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLength,
                             reinterpret_cast<const Bytef*>(compressed.data()), static_cast<uLong>(compressed.size()));
    if (z != Z_OK || rawLength != rawSize) {
        error = L"the PNG pixel data is damaged";
        return false;
    }
    auto* pixels = reinterpret_cast<unsigned char*>(raw.data());
    if (!Unfilter(pixels, rowBytes, height, channels)) {
        error = L"the PNG pixel data is damaged (filter)";
        return false;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.argb.resize(static_cast<size_t>(width) * height);
    for (size_t y = 0; y < height; ++y) {
        const unsigned char* p = pixels + y * (rowBytes + 1) + 1;
        std::uint32_t* o = out.argb.data() + y * width;
        for (size_t x = 0; x < width; ++x, p += channels) {
            if (channels == 1) o[x] = 0xFF000000u | (p[0] * 0x010101u);
            else o[x] = (channels == 4 ? static_cast<std::uint32_t>(p[3]) << 24 : 0xFF000000u) |
                        (static_cast<std::uint32_t>(p[0]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
        }
    }
    return true;
}

bool EncodePng(const Pixels& picture, std::string& out, std::wstring& error) {
    out.clear();
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.argb.size() != static_cast<size_t>(picture.width) * picture.height ||
        static_cast<std::uint64_t>(picture.width) * picture.height > kMaxPngPixels) {
        error = L"no picture to write";
        return false;
    }
    const size_t w = static_cast<size_t>(picture.width), h = static_cast<size_t>(picture.height);
    const size_t rowBytes = w * 3;
    // Every row filtered "up": the rows of a page repeat, so most bytes become 0.
    std::string raw((rowBytes + 1) * h, '\0');
    std::string previous(rowBytes, '\0'), current(rowBytes, '\0');
    for (size_t y = 0; y < h; ++y) {
        const std::uint32_t* row = picture.argb.data() + y * w;
        for (size_t x = 0; x < w; ++x) {
            current[x * 3] = static_cast<char>(row[x] >> 16);
            current[x * 3 + 1] = static_cast<char>(row[x] >> 8);
            current[x * 3 + 2] = static_cast<char>(row[x]);
        }
        char* o = raw.data() + y * (rowBytes + 1);
        o[0] = 2;
        for (size_t i = 0; i < rowBytes; ++i) o[i + 1] = static_cast<char>(current[i] - previous[i]);
        current.swap(previous);
    }
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) {
        error = L"zlib cannot start";
        return false;
    }
    std::string compressed(deflateBound(&stream, static_cast<uLong>(raw.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(compressed.data());
    stream.avail_out = static_cast<uInt>(compressed.size());
    const int z = deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    if (z != Z_STREAM_END) {
        error = L"zlib cannot compress the picture";
        return false;
    }
    out.append(reinterpret_cast<const char*>(kSignature), 8);
    unsigned char header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<unsigned char>(w >> (24 - 8 * i));
        header[4 + i] = static_cast<unsigned char>(h >> (24 - 8 * i));
    }
    header[8] = 8;  // bits per channel
    header[9] = 2;  // RGB
    PutChunk(out, "IHDR", header, sizeof header);
    PutChunk(out, "IDAT", reinterpret_cast<const unsigned char*>(compressed.data()), compressed.size());
    static const unsigned char kNothing = 0;
    PutChunk(out, "IEND", &kNothing, 0);
    return true;
}
