#include "shell/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "shell/failure.h"
#include "shell/folders.h"

namespace mosaikon {

void OpenLog(Log& log, const std::string& programFolder) {
    log.LogStream.reset();
    const std::string path = SettingsPath(programFolder, "Log_File.txt");
    if (path.empty()) {
        Fail(
            "no folder private to you can hold it: the temporary one belongs to someone else "
            "or others can write it");
    }
    // Never written through a link, which only someone else could have put there.
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) FailWithSystemError(errno);
    FileHandle stream(::fdopen(descriptor, "wb"));
    if (!stream) {
        const int error = errno;
        ::close(descriptor);
        FailWithSystemError(error);
    }
    log.LogStream = std::move(stream);
    try {
        WriteLog(log, "Application Location " + programFolder);
    } catch (...) {
        // A log that cannot take its first line (a full disk) is given up at once, so that the
        // procedures after it, which log as they go, are not stopped by it.
        log.LogStream.reset();
        throw;
    }
}

void WriteLog(Log& log, std::string_view text) {
    if (log.kept) {
        log.kept->emplace_back(text);
        return;
    }
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
