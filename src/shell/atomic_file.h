#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mosaikon {

// Replaces a file only when its new content is complete: everything is written to a temporary
// file beside the target, which is renamed over the target by Commit(). Until then, and after
// any failure, the target is untouched; an uncommitted temporary file is removed.
// Failures are thrown as Failure with the system's text.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string targetPath);
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    ~AtomicFileWriter();

    void Write(const void* data, std::size_t size);
    void Write(std::string_view text) { Write(text.data(), text.size()); }
    void Commit();

private:
    void Flush();
    void Discard() noexcept;

    std::string targetPath_;
    std::string temporaryPath_;
    int descriptor_ = -1;
    std::vector<char> buffer_;
    std::size_t buffered_ = 0;
};

}  // namespace mosaikon
