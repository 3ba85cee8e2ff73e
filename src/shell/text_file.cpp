#include "shell/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shell/failure.h"

namespace mosaikon {

namespace {

// Non-blocking, so that a pipe or device given as a file cannot hang the open.
FileHandle OpenForReading(const std::string& path, std::uint64_t* size = nullptr) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) FailWithSystemError(errno);
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        if (S_ISDIR(status.st_mode)) FailWithSystemError(EISDIR);
        Fail("Not a regular file");
    }
    if (size) *size = static_cast<std::uint64_t>(status.st_size);
    FileHandle file(::fdopen(descriptor, "rb"));
    if (!file) {
        const int error = errno;
        ::close(descriptor);
        FailWithSystemError(error);
    }
    return file;
}

}  // namespace

bool FileExists(const std::string& path) {
    try {
        OpenForReading(path);
        return true;
    } catch (const Failure&) {
        return false;
    }
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t mostBytes) {
    std::uint64_t size = 0;
    FileHandle file = OpenForReading(path, &size);
    if (size > mostBytes) {
        Fail("The file is too large (" + std::to_string(size) + " bytes; at most " +
             std::to_string(mostBytes) + " are read)");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) FailWithSystemError(EIO);
    bytes.resize(got);  // a file that shrank while it was read
    return bytes;
}

TextFileReader::TextFileReader(const std::string& path) : file_(OpenForReading(path)) {}

bool TextFileReader::AtEnd() {
    const int c = std::getc(file_.get());
    if (c == EOF) return true;
    std::ungetc(c, file_.get());
    return false;
}

std::string TextFileReader::ReadLine() {
    if (AtEnd()) {
        if (std::ferror(file_.get())) FailWithSystemError(EIO);
        Fail(kInputPastEnd);
    }
    std::string line;
    for (int c = std::getc(file_.get()); c != EOF && c != '\n'; c = std::getc(file_.get())) {
        line += static_cast<char>(c);
    }
    if (std::ferror(file_.get())) FailWithSystemError(EIO);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string TextFileReader::ReadAll() {
    if (AtEnd()) Fail(kInputPastEnd);
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file_.get())) > 0) text.append(buffer, got);
    if (std::ferror(file_.get())) FailWithSystemError(EIO);
    return text;
}

}  // namespace mosaikon
