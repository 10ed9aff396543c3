#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quiramo::platform {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string describe(const std::string& what, const std::string& path, int err) {
    return what + " \"" + path + "\": " + std::strerror(err);
}

void syncFolder(const std::string& folder) {
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// The permissions a file made the ordinary way would get (0666 less the umask): mkostemp
// makes its files 0600. umask() cannot be read without setting it, which would race with
// other threads, so the kernel's record of it is read instead.
mode_t newFileMode() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value & 0777);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

}  // namespace

AtomicFile::~AtomicFile() {
    if (!committed_) discard();
}

bool AtomicFile::open(const std::string& target, std::string& errorText) {
    discard();
    committed_ = false;
    target_ = target;
    const auto slash = target.find_last_of('/');
    // The temporary name adds 16 bytes to the target's; cut the copied part so that a target
    // name near the 255-byte limit still gets a temporary file beside it.
    constexpr size_t kMaxNamePart = 200;
    const std::string name =
        (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, kMaxNamePart);
    std::string pattern = folderOf(target) + "/." + name + ".partial-XXXXXX";
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        errorText = describe("Cannot create a file in", folderOf(target), errno);
        return false;
    }
    ::fchmod(fd_, newFileMode());
    tempPath_ = pattern;
    return true;
}

bool AtomicFile::write(const uint8_t* data, size_t size, std::string& errorText) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            errorText = describe("Cannot write", target_, errno);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::commit(std::string& errorText) {
    if (fd_ >= 0) {
        if (::fsync(fd_) != 0) {
            errorText = describe("Cannot write", target_, errno);
            discard();
            return false;
        }
        if (::close(fd_) != 0) {
            fd_ = -1;
            errorText = describe("Cannot write", target_, errno);
            discard();
            return false;
        }
        fd_ = -1;
    }
    if (tempPath_.empty()) {
        errorText = "No file to save";
        return false;
    }
    if (::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0) {
        const int err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // Some file systems cannot rename without replacing: a hard link refuses an
            // existing name just the same.
            if (::link(tempPath_.c_str(), target_.c_str()) == 0) {
                ::unlink(tempPath_.c_str());
                tempPath_.clear();
                committed_ = true;
                syncFolder(folderOf(target_));
                return true;
            }
            errorText = describe("Cannot save", target_, errno);
        } else {
            errorText = describe("Cannot save", target_, err);
        }
        discard();
        return false;
    }
    tempPath_.clear();
    committed_ = true;
    syncFolder(folderOf(target_));
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, std::string& errorText) {
    AtomicFile file;
    if (!file.open(path, errorText)) return false;
    if (!file.write(data, size, errorText)) return false;
    return file.commit(errorText);
}

}  // namespace quiramo::platform
