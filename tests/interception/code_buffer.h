// Executable memory for tests that run hand-assembled machine code.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace interception_test {

class CodeBuffer {
public:
    static constexpr size_t kSize = 0x10000;

    // Anywhere the system chooses.
    CodeBuffer();
    // At the first free 64 KiB block at or above `address` (0 if none found).
    explicit CodeBuffer(uintptr_t address);
    ~CodeBuffer();
    CodeBuffer(const CodeBuffer&) = delete;
    CodeBuffer& operator=(const CodeBuffer&) = delete;

    bool ok() const { return base_ != nullptr; }
    uint8_t* data() const { return base_; }
    uintptr_t address(size_t offset = 0) const { return reinterpret_cast<uintptr_t>(base_) + offset; }

    // Copies bytes to an offset; returns that offset's address.
    uintptr_t Put(size_t offset, std::initializer_list<uint8_t> bytes);
    void PutU32(size_t offset, uint32_t v) { std::memcpy(base_ + offset, &v, 4); }
    void PutU64(size_t offset, uint64_t v) { std::memcpy(base_ + offset, &v, 8); }
    // rel32 at `offset` so that the instruction ending at `end` reaches `target`.
    void PutRel32(size_t offset, size_t end, uintptr_t target) {
        PutU32(offset, static_cast<uint32_t>(target - address(end)));
    }

    template <class F>
    F As(size_t offset = 0) const {
        return reinterpret_cast<F>(address(offset));
    }

private:
    uint8_t* base_ = nullptr;
};

// Whether the process runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// Lowest free, 64 KiB aligned address at or above `from`, 0 if none.
uintptr_t FindFreeBlock(uintptr_t from);

}  // namespace interception_test
