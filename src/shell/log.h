#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "shell/folders.h"

namespace mosaikon {

struct FileCloser {
    void operator()(std::FILE* file) const {
        if (file) std::fclose(file);
    }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// The trace of one run, Settings/Log_File.txt beside the program.
struct Log {
    FileHandle LogStream;  // empty while no log is open
    // Where given, lines are kept here instead: the trace of work done away from the log's
    // owner (a sticker worked out in the background), written to the log when it is used.
    std::vector<std::string>* kept = nullptr;
};

// Starts the log afresh; throws a Failure when the file cannot be created.
void OpenLog(Log& log, const std::string& programFolder);

// Appends one line (CR LF). Without an open log the line is dropped.
void WriteLog(Log& log, std::string_view text);

void CloseLog(Log& log);

}  // namespace mosaikon
