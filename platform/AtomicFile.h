#pragma once
// Writing a file so that the target either appears complete or not at all: the data goes
// to a temporary file in the target's folder, is flushed to disk, and is then renamed
// onto the target name, which must not exist yet: an existing file is never replaced.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quiramo::platform {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file beside target. False with errorText on failure.
    bool open(const std::string& target, std::string& errorText);
    // The temporary file's path, for writers that open the file by name themselves.
    const std::string& temporaryPath() const { return tempPath_; }
    int fd() const { return fd_; }
    bool write(const uint8_t* data, size_t size, std::string& errorText);
    // Flushes, closes and renames into place without replacing an existing file.
    bool commit(std::string& errorText);
    // Removes the temporary file.
    void discard();

private:
    std::string target_;
    std::string tempPath_;
    int fd_ = -1;
    bool committed_ = false;
};

// Writes size bytes to path atomically. False with the system's error description.
bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, std::string& errorText);

}  // namespace quiramo::platform
