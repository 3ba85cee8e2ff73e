#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/log.h"

namespace mosaikon {

// Whether a file can be opened for reading: a folder, or a file without permission, cannot.
bool FileExists(const std::string& path);

// The whole content of a regular file of at most mostBytes bytes. A folder, a FIFO or a device
// is refused without blocking.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t mostBytes);

// A text file read one line at a time; lines end with LF or CR LF. Reading past the last line
// throws "Input past end of file".
class TextFileReader {
public:
    explicit TextFileReader(const std::string& path);
    bool AtEnd();
    std::string ReadLine();
    // The whole content; an empty file throws "Input past end of file".
    std::string ReadAll();

private:
    FileHandle file_;
};

inline constexpr const char* kInputPastEnd = "Input past end of file";

}  // namespace mosaikon
