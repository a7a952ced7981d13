#pragma once
// Reads a whole file into memory, bounded: for the small files the program
// reads at once (address lists, pictures). Any thread; no state.
//
//   std::string bytes;
//   std::wstring error;
//   switch (fw::ReadFileBytes(path, 1 << 20, bytes, error)) { ... }
#include <cstdint>
#include <string>

namespace fw {

enum class ReadBytesResult { Ok, TooLarge, Failed };

// Ok with the file's bytes; TooLarge (bytes empty, error empty) when the
// file holds more than `maxBytes`; Failed with the system's reason in
// `error` when it cannot be opened or read.
[[nodiscard]] ReadBytesResult ReadFileBytes(const std::wstring& file, std::uint64_t maxBytes, std::string& bytes,
                                            std::wstring& error);

} // namespace fw
