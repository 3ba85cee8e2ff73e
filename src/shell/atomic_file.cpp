#include "shell/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "shell/failure.h"

namespace mosaikon {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

mode_t ModeForNewFile(const std::string& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        return existing.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string targetPath)
    : targetPath_(std::move(targetPath)), buffer_(kBufferSize) {
    struct stat existing {};
    if (::stat(targetPath_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        FailWithSystemError(EISDIR);
    }
    temporaryPath_ = targetPath_ + ".tmp-XXXXXX";
    descriptor_ = ::mkstemp(temporaryPath_.data());
    if (descriptor_ < 0) FailWithSystemError(errno);
    if (::fchmod(descriptor_, ModeForNewFile(targetPath_)) != 0) {
        const int error = errno;
        Discard();
        FailWithSystemError(error);
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

void AtomicFileWriter::Discard() noexcept {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
        ::unlink(temporaryPath_.c_str());
    }
}

void AtomicFileWriter::Flush() {
    const char* data = buffer_.data();
    std::size_t left = buffered_;
    while (left > 0) {
        const ssize_t written = ::write(descriptor_, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            Discard();
            FailWithSystemError(error);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    buffered_ = 0;
}

void AtomicFileWriter::Write(const void* data, std::size_t size) {
    if (descriptor_ < 0) FailWithSystemError(EBADF);
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const std::size_t room = buffer_.size() - buffered_;
        const std::size_t part = size < room ? size : room;
        std::memcpy(buffer_.data() + buffered_, bytes, part);
        buffered_ += part;
        bytes += part;
        size -= part;
        if (buffered_ == buffer_.size()) Flush();
    }
}

void AtomicFileWriter::Commit() {
    if (descriptor_ < 0) FailWithSystemError(EBADF);
    Flush();
    if (::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        Discard();
        FailWithSystemError(error);
    }
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0 || ::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporaryPath_.c_str());
        FailWithSystemError(error);
    }
}

}  // namespace mosaikon
