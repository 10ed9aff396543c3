#include "tests/support/ChunkImage.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

#include "formats/Bytes.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo::test {

void appendId(std::vector<uint8_t>& out, const std::string& id) {
    std::string four = id;
    four.resize(4, ' ');
    bytes::appendText(out, four);
}

ChunkImage::ChunkImage(bool bigEndian, std::string formId, std::string formType)
    : bigEndian_(bigEndian), formId_(std::move(formId)), formType_(std::move(formType)) {}

void ChunkImage::appendSize(std::vector<uint8_t>& out, uint32_t size) const {
    if (bigEndian_) {
        bytes::appendU32BE(out, size);
    } else {
        bytes::appendU32LE(out, size);
    }
}

void ChunkImage::chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad,
                       std::optional<uint32_t> declaredSize) {
    Part part;
    appendId(part.bytes, id);
    appendSize(part.bytes, declaredSize.value_or(static_cast<uint32_t>(body.size())));
    part.bytes.insert(part.bytes.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) part.bytes.push_back(0);
    parts_.push_back(std::move(part));
}

void ChunkImage::zeroChunk(const std::string& id, uint64_t size, bool pad) {
    Part part;
    appendId(part.bytes, id);
    appendSize(part.bytes, static_cast<uint32_t>(size));
    part.zeros = size + ((pad && (size & 1)) ? 1 : 0);
    parts_.push_back(std::move(part));
}

void ChunkImage::raw(const std::vector<uint8_t>& bytes) {
    parts_.push_back(Part{bytes, 0});
}

uint64_t ChunkImage::totalSize() const {
    uint64_t n = 12;
    for (const auto& p : parts_) n += p.bytes.size() + p.zeros;
    return n;
}

std::vector<uint8_t> ChunkImage::header() const {
    std::vector<uint8_t> out;
    appendId(out, formId_);
    appendSize(out, formSize_.value_or(static_cast<uint32_t>(totalSize() - 8)));
    appendId(out, formType_);
    return out;
}

std::vector<uint8_t> ChunkImage::bytes() const {
    std::vector<uint8_t> out = header();
    for (const auto& p : parts_) {
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
        out.insert(out.end(), p.zeros, 0);
    }
    return out;
}

std::string ChunkImage::writeTo(const TempDir& dir, const std::string& name) const {
    const std::string path = dir.file(name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    bool ok = true;
    auto put = [&](const std::vector<uint8_t>& b) {
        size_t done = 0;
        while (ok && done < b.size()) {
            const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
            ok = n > 0;
            if (ok) done += static_cast<size_t>(n);
        }
    };
    put(header());
    for (const auto& p : parts_) {
        put(p.bytes);
        // Zero bodies become holes: skip over them and let the final length fill in.
        if (ok && p.zeros) ok = ::lseek(fd, static_cast<off_t>(p.zeros), SEEK_CUR) >= 0;
    }
    if (ok) ok = ::ftruncate(fd, static_cast<off_t>(totalSize())) == 0;
    ::close(fd);
    if (!ok) throw std::runtime_error("cannot write " + path);
    return path;
}

}  // namespace quiramo::test
