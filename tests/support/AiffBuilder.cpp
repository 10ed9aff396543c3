#include "tests/support/AiffBuilder.h"

#include <fstream>
#include <stdexcept>

#include "formats/Bytes.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo::test {
namespace {

void appendId(std::vector<uint8_t>& out, const std::string& id) {
    std::string four = id;
    four.resize(4, ' ');
    bytes::appendText(out, four);
}

}  // namespace

AiffBuilder::Rate AiffBuilder::rate44100() {
    return {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
}

std::vector<uint8_t> AiffBuilder::commBody(uint16_t channels, uint32_t frames, uint16_t bits,
                                           const Rate& rate) {
    std::vector<uint8_t> b;
    bytes::appendU16BE(b, channels);
    bytes::appendU32BE(b, frames);
    bytes::appendU16BE(b, bits);
    b.insert(b.end(), rate.begin(), rate.end());
    return b;
}

std::vector<uint8_t> AiffBuilder::commBodyC(uint16_t channels, uint32_t frames, uint16_t bits,
                                            const Rate& rate, const std::string& compression,
                                            const std::string& name) {
    std::vector<uint8_t> b = commBody(channels, frames, bits, rate);
    appendId(b, compression);
    b.push_back(static_cast<uint8_t>(name.size()));
    bytes::appendText(b, name);
    if (b.size() & 1) b.push_back(0);
    return b;
}

AiffBuilder& AiffBuilder::chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad,
                                std::optional<uint32_t> declaredSize) {
    appendId(body_, id);
    bytes::appendU32BE(body_, declaredSize.value_or(static_cast<uint32_t>(body.size())));
    body_.insert(body_.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) body_.push_back(0);
    return *this;
}

AiffBuilder& AiffBuilder::fver(uint32_t timestamp) {
    std::vector<uint8_t> b;
    bytes::appendU32BE(b, timestamp);
    return chunk("FVER", b);
}

AiffBuilder& AiffBuilder::ssnd(const std::vector<uint8_t>& samples, uint32_t offset, uint32_t blockSize) {
    std::vector<uint8_t> b;
    bytes::appendU32BE(b, offset);
    bytes::appendU32BE(b, blockSize);
    b.insert(b.end(), offset, 0xEE);
    b.insert(b.end(), samples.begin(), samples.end());
    return chunk("SSND", b);
}

AiffBuilder& AiffBuilder::raw(const std::vector<uint8_t>& bytes) {
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
}

AiffBuilder& AiffBuilder::formId(const std::string& id) {
    formId_ = id;
    return *this;
}

AiffBuilder& AiffBuilder::formSize(uint32_t size) {
    formSize_ = size;
    return *this;
}

std::vector<uint8_t> AiffBuilder::bytes() const {
    std::vector<uint8_t> out;
    appendId(out, formId_);
    bytes::appendU32BE(out, formSize_.value_or(static_cast<uint32_t>(4 + body_.size())));
    appendId(out, formType_);
    out.insert(out.end(), body_.begin(), body_.end());
    return out;
}

std::string AiffBuilder::writeTo(const TempDir& dir, const std::string& name) const {
    return writeFile(dir, name, bytes());
}

std::string writeFile(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.file(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}

}  // namespace quiramo::test
