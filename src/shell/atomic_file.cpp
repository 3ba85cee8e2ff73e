#include "shell/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "shell/failure.h"
#include "shell/system.h"

namespace mosaikon {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr int kMostLinks = 40;  // as the system's own limit on links followed in one path

// The file creation mask, read once: umask() can only be read by setting it, which other threads
// writing files at the same time must not see.
mode_t ProcessUmask() {
    static const mode_t mask = [] {
        std::ifstream status("/proc/self/status");
        std::string key;
        while (status >> key) {
            if (key == "Umask:") {
                std::string octal;
                status >> octal;
                return static_cast<mode_t>(std::stoul(octal, nullptr, 8));
            }
        }
        const mode_t set = ::umask(0);
        ::umask(set);
        return set;
    }();
    return mask;
}

mode_t ModeForNewFile(const std::string& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        return existing.st_mode & 07777;
    }
    return 0666 & ~ProcessUmask();
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The temporary files being written, so that an interrupted program can remove them from its
// signal handler, which may only use fixed memory and unlink().
// Enough for the most pictures a batch writes at once, each with its preview, and the report.
constexpr int kTrackedFiles = 160;
constexpr std::size_t kTrackedPathSize = 4096;
char trackedPaths[kTrackedFiles][kTrackedPathSize];
std::atomic<bool> trackedInUse[kTrackedFiles];

int Track(const std::string& path) {
    if (path.size() >= kTrackedPathSize) return -1;
    for (int slot = 0; slot < kTrackedFiles; ++slot) {
        bool expected = false;
        if (trackedInUse[slot].load() ||
            !trackedInUse[slot].compare_exchange_strong(expected, true))
            continue;
        std::memcpy(trackedPaths[slot], path.c_str(), path.size() + 1);
        return slot;
    }
    return -1;
}

void Untrack(int& slot) {
    if (slot >= 0) trackedInUse[slot].store(false);
    slot = -1;
}

extern "C" void RemoveTrackedFilesAndStop(int signalNumber) {
    for (int slot = 0; slot < kTrackedFiles; ++slot) {
        if (trackedInUse[slot].load()) ::unlink(trackedPaths[slot]);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

}  // namespace

void RemoveTemporaryFilesOnInterrupt() {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signalNumber, RemoveTrackedFilesAndStop);
    }
}

void CheckRoomFor(const std::string& path, std::uint64_t leastBytes) {
    const std::string target = ResolveWriteTarget(path);
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : target.substr(0, slash);
    const std::optional<std::uint64_t> free = FreeDiskSpace(folder);
    if (free && *free < leastBytes) {
        Fail("The file needs at least " + std::to_string((leastBytes + (1 << 20) - 1) >> 20) +
             " MB, but only " + std::to_string(*free >> 20) + " MB are free on the disk of " +
             folder);
    }
}

std::string ResolveWriteTarget(const std::string& path) {
    std::string current = path;
    for (int followed = 0;; ++followed) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        if (followed == kMostLinks) FailWithSystemError(ELOOP);
        std::string target(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) + 1,
                           '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0) FailWithSystemError(errno);
        target.resize(static_cast<std::size_t>(length));
        if (!target.empty() && target.front() != '/') target = FolderOf(current) + "/" + target;
        current = std::move(target);
    }
}

std::string FileIdentity(const std::string& path) {
    std::string target = path;
    try {
        target = ResolveWriteTarget(path);
    } catch (const Failure&) {
        // A loop of links: nothing can be written through it, and it is no other file.
    }
    struct stat status {};
    if (::stat(target.c_str(), &status) == 0) {
        return "#" + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::weakly_canonical(target, error);
    return error ? target : absolute.string();
}

AtomicFileWriter::AtomicFileWriter(const std::string& targetPath, bool followLinks)
    : targetPath_(followLinks ? ResolveWriteTarget(targetPath) : targetPath), buffer_(kBufferSize) {
    struct stat existing {};
    if ((followLinks ? ::stat(targetPath_.c_str(), &existing)
                     : ::lstat(targetPath_.c_str(), &existing)) == 0 &&
        !S_ISLNK(existing.st_mode)) {
        if (S_ISDIR(existing.st_mode)) FailWithSystemError(EISDIR);
        if (!S_ISREG(existing.st_mode)) {
            Fail(targetPath + " is not a regular file; only regular files are replaced");
        }
    }
    // A short name of its own, so that a target name of the longest legal length still works.
    temporaryPath_ = FolderOf(targetPath_) + "/.mosaikon-XXXXXX";
    // The name is tracked before the file is made, and made in the tracked copy itself: an
    // interrupt at any moment finds every file made so far.
    trackSlot_ = Track(temporaryPath_);
    char* name = trackSlot_ >= 0 ? trackedPaths[trackSlot_] : temporaryPath_.data();
    descriptor_ = ::mkostemp(name, O_CLOEXEC);
    if (descriptor_ < 0) {
        const int error = errno;
        Untrack(trackSlot_);
        FailWithSystemError(error);
    }
    temporaryPath_ = name;
    if (::fchmod(descriptor_, ModeForNewFile(targetPath_)) != 0) {
        const int error = errno;
        Discard();
        FailWithSystemError(error);
    }
}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&& other) noexcept
    : targetPath_(std::move(other.targetPath_)),
      temporaryPath_(std::move(other.temporaryPath_)),
      descriptor_(std::exchange(other.descriptor_, -1)),
      finished_(std::exchange(other.finished_, false)),
      trackSlot_(std::exchange(other.trackSlot_, -1)),
      buffer_(std::move(other.buffer_)),
      buffered_(std::exchange(other.buffered_, 0)),
      size_(std::exchange(other.size_, 0)) {}

AtomicFileWriter::~AtomicFileWriter() {
    Discard();
}

void AtomicFileWriter::Discard() noexcept {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
        ::unlink(temporaryPath_.c_str());
    }
    if (finished_) {
        finished_ = false;
        ::unlink(temporaryPath_.c_str());
    }
    Untrack(trackSlot_);
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
    size_ += size;
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

void AtomicFileWriter::Finish() {
    if (finished_) return;
    if (descriptor_ < 0) FailWithSystemError(EBADF);
    Flush();
    if (::fsync(descriptor_) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        Discard();
        FailWithSystemError(error);
    }
    const int descriptor = std::exchange(descriptor_, -1);
    finished_ = true;
    if (::close(descriptor) != 0) {
        const int error = errno;
        Discard();
        FailWithSystemError(error);
    }
}

void AtomicFileWriter::Commit() {
    Finish();
    if (::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) {
        const int error = errno;
        Discard();
        FailWithSystemError(error);
    }
    finished_ = false;
    Untrack(trackSlot_);
}

void CommitOrKeep(AtomicFileWriter& file, PendingFiles* pending) {
    if (pending) {
        pending->Add(std::move(file));
    } else {
        file.Commit();
    }
}

void PendingFiles::Add(AtomicFileWriter file) {
    file.Finish();
    files_.push_back(std::move(file));
}

void PendingFiles::CommitAll() {
    for (AtomicFileWriter& file : files_) file.Commit();
    files_.clear();
}

}  // namespace mosaikon
