#include "errors.h"

#include <cstdio>

namespace fw {

void LogStoppedException(const char* where, const std::exception* error) noexcept {
    char line[512];
    const char* what = "an exception of no standard type";
    if (error) {
        // what() itself must not throw past here.
        try {
            what = error->what();
        } catch (...) {
        }
    }
    std::snprintf(line, sizeof line, "vantrell: exception stopped in %s: %s\n", where ? where : "?", what);
    OutputDebugStringA(line);
}

void LogFailure(const char* what, HRESULT hr) noexcept {
    char line[256];
    std::snprintf(line, sizeof line, "vantrell: %s failed: 0x%08lx\n", what ? what : "?",
                  static_cast<unsigned long>(hr));
    OutputDebugStringA(line);
}

} // namespace fw
