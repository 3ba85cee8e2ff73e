#include "shell/log.h"

#include <cerrno>

#include "shell/failure.h"
#include "shell/folders.h"

namespace mosaikon {

void OpenLog(Log& log, const std::string& programFolder) {
    log.LogStream.reset();
    FileHandle stream(std::fopen(SettingsPath(programFolder, "Log_File.txt").c_str(), "wb"));
    if (!stream) FailWithSystemError(errno);
    log.LogStream = std::move(stream);
    WriteLog(log, "Application Location " + programFolder);
}

void WriteLog(Log& log, std::string_view text) {
    std::FILE* stream = log.LogStream.get();
    if (!stream) return;
    errno = 0;
    // Each line goes to the disk at once, so that the trace survives whatever follows.
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size() ||
        std::fputs("\r\n", stream) == EOF || std::fflush(stream) != 0) {
        std::clearerr(stream);
        FailWithSystemError(errno ? errno : EIO);
    }
}

void CloseLog(Log& log) {
    log.LogStream.reset();
}

}  // namespace mosaikon
