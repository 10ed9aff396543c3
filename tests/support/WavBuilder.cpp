#include "tests/support/WavBuilder.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "formats/Bytes.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo::test {
namespace {

void appendId(std::vector<uint8_t>& out, const std::string& id) {
    // IDs are exactly four bytes: shorter ones are blank-filled, longer ones cut.
    std::string four = id;
    four.resize(4, ' ');
    bytes::appendText(out, four);
}

// The tail of the PCM sub-format GUID after its two-byte code.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

}  // namespace

std::vector<uint8_t> WavBuilder::fmtBody(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag) {
    const uint16_t blockAlign = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    std::vector<uint8_t> b;
    bytes::appendU16LE(b, tag);
    bytes::appendU16LE(b, channels);
    bytes::appendU32LE(b, rate);
    bytes::appendU32LE(b, rate * blockAlign);
    bytes::appendU16LE(b, blockAlign);
    bytes::appendU16LE(b, bits);
    return b;
}

std::vector<uint8_t> WavBuilder::fmtBody18(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t cbSize) {
    std::vector<uint8_t> b = fmtBody(channels, rate, bits);
    bytes::appendU16LE(b, cbSize);
    return b;
}

std::vector<uint8_t> WavBuilder::fmtBody40(uint16_t channels, uint32_t rate, uint16_t bits,
                                           uint16_t validBits, uint32_t channelMask, uint16_t subFormat,
                                           uint16_t cbSize, uint16_t tag) {
    std::vector<uint8_t> b = fmtBody(channels, rate, bits, tag);
    bytes::appendU16LE(b, cbSize);
    bytes::appendU16LE(b, validBits);
    bytes::appendU32LE(b, channelMask);
    bytes::appendU16LE(b, subFormat);
    b.insert(b.end(), std::begin(kGuidTail), std::end(kGuidTail));
    return b;
}

WavBuilder& WavBuilder::chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad,
                              std::optional<uint32_t> declaredSize) {
    Part part;
    appendId(part.bytes, id);
    bytes::appendU32LE(part.bytes, declaredSize.value_or(static_cast<uint32_t>(body.size())));
    part.bytes.insert(part.bytes.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) part.bytes.push_back(0);
    parts_.push_back(std::move(part));
    return *this;
}

WavBuilder& WavBuilder::zeroChunk(const std::string& id, uint64_t size, bool pad) {
    Part part;
    appendId(part.bytes, id);
    bytes::appendU32LE(part.bytes, static_cast<uint32_t>(size));
    part.zeros = size + ((pad && (size & 1)) ? 1 : 0);
    parts_.push_back(std::move(part));
    return *this;
}

WavBuilder& WavBuilder::raw(const std::vector<uint8_t>& bytes) {
    parts_.push_back(Part{bytes, 0});
    return *this;
}

WavBuilder& WavBuilder::riffId(const std::string& id) {
    riffId_ = id;
    return *this;
}

WavBuilder& WavBuilder::formType(const std::string& id) {
    formType_ = id;
    return *this;
}

WavBuilder& WavBuilder::riffSize(uint32_t size) {
    riffSize_ = size;
    return *this;
}

uint64_t WavBuilder::totalSize() const {
    uint64_t n = 12;
    for (const auto& p : parts_) n += p.bytes.size() + p.zeros;
    return n;
}

std::vector<uint8_t> WavBuilder::bytes() const {
    std::vector<uint8_t> out;
    appendId(out, riffId_);
    bytes::appendU32LE(out, riffSize_.value_or(static_cast<uint32_t>(totalSize() - 8)));
    appendId(out, formType_);
    for (const auto& p : parts_) {
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
        out.insert(out.end(), p.zeros, 0);
    }
    return out;
}

std::string WavBuilder::writeTo(const TempDir& dir, const std::string& name) const {
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
    std::vector<uint8_t> header;
    appendId(header, riffId_);
    bytes::appendU32LE(header, riffSize_.value_or(static_cast<uint32_t>(totalSize() - 8)));
    appendId(header, formType_);
    put(header);
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
