#pragma once
// The byte-order helpers of every reader and writer. File-format integers are assembled and
// taken apart byte by byte in the format's order, never by reinterpreting memory, so the
// code means the same on any host and never reads misaligned.
//
// read*: p must point at (at least) the integer's width of readable bytes; callers check
// that against the chunk and the file before calling.

#include <cstdint>
#include <string_view>
#include <vector>

namespace quiramo::bytes {

// ---- Reading --------------------------------------------------------------------------
constexpr uint16_t readU16BE(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
constexpr uint16_t readU16LE(const uint8_t* p) {
    return static_cast<uint16_t>(p[1] << 8 | p[0]);
}

constexpr uint32_t readU24BE(const uint8_t* p) {
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[2]};
}
constexpr uint32_t readU24LE(const uint8_t* p) {
    return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
}

constexpr uint32_t readU32BE(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}
constexpr uint32_t readU32LE(const uint8_t* p) {
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
}

constexpr uint64_t readU64BE(const uint8_t* p) {
    return uint64_t{readU32BE(p)} << 32 | readU32BE(p + 4);
}
constexpr uint64_t readU64LE(const uint8_t* p) {
    return uint64_t{readU32LE(p + 4)} << 32 | readU32LE(p);
}

// ---- Writing in place -----------------------------------------------------------------
constexpr void writeU16BE(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
constexpr void writeU16LE(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// The low 24 bits of v.
constexpr void writeU24BE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v);
}
constexpr void writeU24LE(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
}

constexpr void writeU32BE(uint8_t* p, uint32_t v) {
    writeU16BE(p, static_cast<uint16_t>(v >> 16));
    writeU16BE(p + 2, static_cast<uint16_t>(v));
}
constexpr void writeU32LE(uint8_t* p, uint32_t v) {
    writeU16LE(p, static_cast<uint16_t>(v));
    writeU16LE(p + 2, static_cast<uint16_t>(v >> 16));
}

constexpr void writeU64BE(uint8_t* p, uint64_t v) {
    writeU32BE(p, static_cast<uint32_t>(v >> 32));
    writeU32BE(p + 4, static_cast<uint32_t>(v));
}
constexpr void writeU64LE(uint8_t* p, uint64_t v) {
    writeU32LE(p, static_cast<uint32_t>(v));
    writeU32LE(p + 4, static_cast<uint32_t>(v >> 32));
}

// ---- Appending to a growing image -----------------------------------------------------
// std::vector may throw std::bad_alloc; writers catch it where they report memory errors.
inline void appendU16BE(std::vector<uint8_t>& out, uint16_t v) {
    uint8_t b[2];
    writeU16BE(b, v);
    out.insert(out.end(), b, b + 2);
}
inline void appendU16LE(std::vector<uint8_t>& out, uint16_t v) {
    uint8_t b[2];
    writeU16LE(b, v);
    out.insert(out.end(), b, b + 2);
}
inline void appendU24BE(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[3];
    writeU24BE(b, v);
    out.insert(out.end(), b, b + 3);
}
inline void appendU24LE(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[3];
    writeU24LE(b, v);
    out.insert(out.end(), b, b + 3);
}
inline void appendU32BE(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    writeU32BE(b, v);
    out.insert(out.end(), b, b + 4);
}
inline void appendU32LE(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    writeU32LE(b, v);
    out.insert(out.end(), b, b + 4);
}
inline void appendU64BE(std::vector<uint8_t>& out, uint64_t v) {
    uint8_t b[8];
    writeU64BE(b, v);
    out.insert(out.end(), b, b + 8);
}
inline void appendU64LE(std::vector<uint8_t>& out, uint64_t v) {
    uint8_t b[8];
    writeU64LE(b, v);
    out.insert(out.end(), b, b + 8);
}

// Appends the characters of a text as bytes: chunk IDs ("RIFF", "fmt ") and fixed texts.
inline void appendText(std::vector<uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// A RIFF or IFF chunk header: the four-byte ID, then the four-byte size of the body.
inline constexpr uint64_t kChunkHeaderSize = 8;

// Whether the four bytes at p are the chunk ID id (exact, case-sensitive).
constexpr bool isFourCC(const uint8_t* p, const char (&id)[5]) {
    return p[0] == static_cast<uint8_t>(id[0]) && p[1] == static_cast<uint8_t>(id[1]) &&
           p[2] == static_cast<uint8_t>(id[2]) && p[3] == static_cast<uint8_t>(id[3]);
}

}  // namespace quiramo::bytes
