#pragma once
// What the WAV and AIFF builders share: the 12-byte form header (ID, size, form type) and the
// chunks after it in the order they are added, sizes in the format's byte order. The form
// size is computed unless a test fixes it. Zero bodies are spelled out by bytes() and left
// as holes in a sparse file by writeTo(), so a long side costs no disk and no memory.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quiramo::test {

class TempDir;

// Appends a chunk ID: exactly four bytes, shorter ones blank-filled, longer ones cut.
void appendId(std::vector<uint8_t>& out, const std::string& id);

class ChunkImage {
  public:
    ChunkImage(bool bigEndian, std::string formId, std::string formType);

    // Chunk with any ID and body. With pad, an odd body gets its zero pad byte. A declared
    // size overrides the size field (to make it lie about the body).
    void chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad,
               std::optional<uint32_t> declaredSize);
    // A chunk whose body is `size` zero bytes.
    void zeroChunk(const std::string& id, uint64_t size, bool pad);
    // Bytes appended as they stand (a truncated header, trailing junk).
    void raw(const std::vector<uint8_t>& bytes);

    void setFormId(const std::string& id) { formId_ = id; }
    void setFormType(const std::string& id) { formType_ = id; }
    void setFormSize(uint32_t size) { formSize_ = size; }

    // The whole image, zero bodies spelled out.
    std::vector<uint8_t> bytes() const;
    // Writes the image to dir/name and returns the path.
    std::string writeTo(const TempDir& dir, const std::string& name) const;

  private:
    struct Part {
        std::vector<uint8_t> bytes;  // written as they stand
        uint64_t zeros = 0;          // then this many zero bytes
    };
    void appendSize(std::vector<uint8_t>& out, uint32_t size) const;
    std::vector<uint8_t> header() const;
    uint64_t totalSize() const;

    bool bigEndian_;
    std::string formId_;
    std::string formType_;
    std::optional<uint32_t> formSize_;
    std::vector<Part> parts_;
};

// The chunk calls of a format's builder, returning the builder so that calls chain.
template <typename Builder>
class ChunkImageBuilder {
  public:
    Builder& chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad = true,
                   std::optional<uint32_t> declaredSize = std::nullopt) {
        image_.chunk(id, body, pad, declaredSize);
        return self();
    }
    Builder& zeroChunk(const std::string& id, uint64_t size, bool pad = true) {
        image_.zeroChunk(id, size, pad);
        return self();
    }
    Builder& raw(const std::vector<uint8_t>& bytes) {
        image_.raw(bytes);
        return self();
    }

    std::vector<uint8_t> bytes() const { return image_.bytes(); }
    std::string writeTo(const TempDir& dir, const std::string& name) const {
        return image_.writeTo(dir, name);
    }

  protected:
    ChunkImageBuilder(bool bigEndian, const std::string& formId, const std::string& formType)
        : image_(bigEndian, formId, formType) {}
    Builder& self() { return static_cast<Builder&>(*this); }

    ChunkImage image_;
};

}  // namespace quiramo::test
