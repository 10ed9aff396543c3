#pragma once
// The read-only file every reader goes through: opened by path, or on a block of memory
// (fuzzers and tests feed images that way through the very same code). It knows its length,
// keeps a position, and reads with a short read at the end, so a reader can tell "the file
// ends here" from "the bytes are there".

#include <cstddef>
#include <cstdint>
#include <string>

namespace quiramo {

class ReadOnlyFile {
  public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;

    // Opens a regular file for reading; false (and closed) when it cannot be opened.
    bool open(const std::string& path);
    // Reads from memory the caller keeps alive and unchanged while this object uses it.
    void openMemory(const uint8_t* data, size_t size);
    void close();

    bool isOpen() const { return fd_ >= 0 || memory_ != nullptr; }
    // The length taken when the file was opened.
    uint64_t length() const { return length_; }
    uint64_t tell() const { return position_; }
    bool eof() const { return position_ >= length_; }

    // Moves to an absolute offset; false beyond the end (the position is then unchanged).
    bool seek(uint64_t offset);
    // Reads up to n bytes at the position and advances past them. Fewer than n only at the
    // end of the file or on a read error (failed() tells which).
    size_t read(uint8_t* destination, size_t n);
    // Whether a read met an I/O error rather than the end of the file.
    bool failed() const { return failed_; }

  private:
    int fd_ = -1;
    const uint8_t* memory_ = nullptr;
    uint64_t length_ = 0;
    uint64_t position_ = 0;
    bool failed_ = false;
};

}  // namespace quiramo
