#include "formats/ReadOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace quiramo {

ReadOnlyFile::~ReadOnlyFile() {
    close();
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      memory_(std::exchange(other.memory_, nullptr)),
      length_(std::exchange(other.length_, 0)),
      position_(std::exchange(other.position_, 0)),
      failed_(std::exchange(other.failed_, false)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        memory_ = std::exchange(other.memory_, nullptr);
        length_ = std::exchange(other.length_, 0);
        position_ = std::exchange(other.position_, 0);
        failed_ = std::exchange(other.failed_, false);
    }
    return *this;
}

bool ReadOnlyFile::open(const std::string& path) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // A folder or a device has no length to walk chunks against.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    length_ = static_cast<uint64_t>(end);
    return true;
}

void ReadOnlyFile::openMemory(const uint8_t* data, size_t size) {
    close();
    // A non-null marker keeps an empty block "open".
    static const uint8_t kEmpty = 0;
    memory_ = data ? data : &kEmpty;
    length_ = data ? size : 0;
}

void ReadOnlyFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    memory_ = nullptr;
    length_ = 0;
    position_ = 0;
    failed_ = false;
}

bool ReadOnlyFile::seek(uint64_t offset) {
    if (!isOpen() || offset > length_) return false;
    position_ = offset;
    return true;
}

size_t ReadOnlyFile::read(uint8_t* destination, size_t n) {
    if (!isOpen() || position_ >= length_ || n == 0) return 0;
    const uint64_t available = length_ - position_;
    const size_t wanted = available < n ? static_cast<size_t>(available) : n;
    if (memory_) {
        std::memcpy(destination, memory_ + position_, wanted);
        position_ += wanted;
        return wanted;
    }
    size_t done = 0;
    while (done < wanted) {
        const ssize_t got =
            pread(fd_, destination + done, wanted - done, static_cast<off_t>(position_ + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            break;
        }
        if (got == 0) break;  // the file shrank since it was opened
        done += static_cast<size_t>(got);
    }
    position_ += done;
    return done;
}

}  // namespace quiramo
