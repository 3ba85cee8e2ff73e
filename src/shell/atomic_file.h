#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mosaikon {

// The file a write to path really replaces: symbolic links are followed to their final target
// (which need not exist yet), so that a link stays a link. Fails on a loop of links.
std::string ResolveWriteTarget(const std::string& path);

// What a path names once its links are followed, the same text for two paths exactly when
// they are one file: an existing file's device and number (so that hard links are one file
// too), else the absolute path written to.
std::string FileIdentity(const std::string& path);

// Replaces a file only when its new content is complete: everything is written to a temporary
// file with a short name in the target's folder, which is renamed over the target by Commit().
// Until then, and after any failure, the target is untouched; an uncommitted temporary file is
// removed. A symbolic link is written through (its target is replaced), unless followLinks is
// false (then the link itself is replaced); an existing target that is not a regular file (a
// folder, a FIFO, a device) is refused before anything is written. Failures are thrown as Failure
// with the system's text.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(const std::string& targetPath, bool followLinks = true);
    AtomicFileWriter(AtomicFileWriter&& other) noexcept;
    AtomicFileWriter& operator=(AtomicFileWriter&&) = delete;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    ~AtomicFileWriter();

    void Write(const void* data, std::size_t size);
    void Write(std::string_view text) { Write(text.data(), text.size()); }
    // The bytes written so far.
    std::uint64_t Size() const { return size_; }
    // Writes out and closes the temporary file; only the rename is left to Commit().
    void Finish();
    void Commit();

private:
    void Flush();
    void Discard() noexcept;

    std::string targetPath_;
    std::string temporaryPath_;
    int descriptor_ = -1;
    bool finished_ = false;
    int trackSlot_ = -1;
    std::vector<char> buffer_;
    std::size_t buffered_ = 0;
    std::uint64_t size_ = 0;
};

// Fails, before anything is written, when the disk that path is written to has less room than
// the least the file will take ("The file needs at least N MB, ...").
void CheckRoomFor(const std::string& path, std::uint64_t leastBytes);

// Makes an interrupt (Ctrl-C), a hang-up or a termination request remove the temporary files
// being written before the program stops, so that none is left behind.
void RemoveTemporaryFilesOnInterrupt();

// Files written completely but not yet put in place, so that several files are replaced together
// only once every one of them was written: a failure in any leaves all targets as they were.
class PendingFiles {
public:
    void Add(AtomicFileWriter file);
    // Renames every file into place, in the order they were added.
    void CommitAll();

private:
    std::vector<AtomicFileWriter> files_;
};

// Puts a completely written file in place now, or, with pending, leaves it there to be put in
// place together with the others.
void CommitOrKeep(AtomicFileWriter& file, PendingFiles* pending);

}  // namespace mosaikon
