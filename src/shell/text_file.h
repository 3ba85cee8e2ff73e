#pragma once

#include <string>

#include "shell/log.h"

namespace mosaikon {

// Whether a file can be opened for reading: a folder, or a file without permission, cannot.
bool FileExists(const std::string& path);

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
