#include "formats/Metadata.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/record/AudioFile.h"
#include "formats/Bytes.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using bytes::kChunkHeaderSize;

// The bext chunk, header included: the fixed part of the version 2 layout, then the coding
// history.
constexpr size_t kBextDescription = 8;            // 256 bytes of text
constexpr size_t kBextOriginator = 264;           // 32
constexpr size_t kBextOriginatorReference = 296;  // 32
constexpr size_t kBextOriginationDate = 328;      // 10
constexpr size_t kBextOriginationTime = 338;      // 8
constexpr size_t kBextTimeReference = 346;        // unsigned 64-bit, samples since midnight
constexpr size_t kBextVersion = 354;              // unsigned 16-bit
constexpr size_t kBextUmid = 356;                 // 64 bytes
constexpr size_t kBextUmidSize = 64;
constexpr size_t kBextLoudness = 420;       // five signed 16-bit values, × 100
constexpr size_t kBextReserved = 430;       // 180 bytes
constexpr size_t kBextCodingHistory = 610;  // text to the end
constexpr size_t kBextFixedSize = kBextCodingHistory;
constexpr uint16_t kBextWrittenVersion = 2;  // the version that has the loudness fields

// An iXML chunk is at least its header.
constexpr size_t kIXMLMinSize = kChunkHeaderSize;

// Replaces what is not UTF-8 by U+FFFD, so a report line is always text.
std::string validUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        size_t n = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        }
        bool ok = n > 0;
        for (size_t k = 1; ok && k <= n; ++k) {
            if (i + k >= in.size()) {
                ok = false;
                break;
            }
            const auto d = static_cast<unsigned char>(in[i + k]);
            ok = (d & 0xC0) == 0x80;
            cp = cp << 6 | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text either.
        if (ok)
            ok = !((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) ||
                   cp > 0x10FFFF);
        if (ok) {
            out.append(in.substr(i, n + 1));
            i += n + 1;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

// A text field as a report shows it: up to its first NUL (the padding of a fixed field),
// as UTF-8.
std::string fieldText(const uint8_t* p, size_t n) {
    std::string_view text(reinterpret_cast<const char*>(p), n);
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    return validUtf8(text);
}

std::string hex(const uint8_t* p, size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 15];
    }
    return out;
}

// The whole chunk for the log: hexadecimal in groups of four bytes, in angle brackets.
std::string hexDump(const std::vector<uint8_t>& b) {
    std::string out = "<";
    for (size_t i = 0; i < b.size(); i += 4) {
        if (i) out += ' ';
        out += hex(b.data() + i, std::min<size_t>(4, b.size() - i));
    }
    out += '>';
    return out;
}

// Multiplied by 100, rounded half away from zero, as a signed 16-bit field. Values beyond
// the field (silence measures minus infinity) are held at its ends rather than wrapped.
int16_t loudnessField(double value) {
    const double scaled = std::round(value * 100.0);
    if (std::isnan(scaled)) return 0;
    if (scaled <= -32768.0) return INT16_MIN;
    if (scaled >= 32767.0) return INT16_MAX;
    return static_cast<int16_t>(scaled);
}

void appendLoudness(AudioFile& job, std::vector<uint8_t>& out) {
    for (double v : {job.dstLoudnessValue, job.dstLoudnessRange, job.dstMaxTruePeakLevel,
                     job.dstMaxMomentaryLoudness, job.dstMaxShortTermLoudness}) {
        bytes::appendU16LE(out, static_cast<uint16_t>(loudnessField(v)));
    }
}

// "iXML" or "ID3 " with the stored chunk's body, its size in the output's byte order.
void appendStoredChunk(AudioFile& job, std::vector<uint8_t>& out, uint32_t size, const char* id,
                       const std::vector<uint8_t>& stored, const char* operation) {
    if (size == 0) return;
    if (size < kChunkHeaderSize || size > stored.size()) {
        QRM_FAIL("Unexpected chunk size %u in %s", size, operation);
        return;
    }
    bytes::appendText(out, id);
    if (job.dstEndianessValues == kBigEndian) {
        bytes::appendU32BE(out, size - 8);
    } else {
        bytes::appendU32LE(out, size - 8);
    }
    out.insert(out.end(), stored.begin() + kChunkHeaderSize, stored.begin() + size);
}

}  // namespace

void AnalyseAudioMetricsBEXT(AudioFile& job, unsigned) {
    const std::vector<uint8_t>& c = job.srcBextChunkData;
    if (c.empty()) return;
    if (c.size() < kBextFixedSize) {
        platform::log("<ERROR> Broadcast Wave chunk (bext) is too short");
        job.error |= kErrorHeader;
        return;
    }
    platform::log("<Info> Analysing the source audio BEXT metrics");
    platform::log("<Info>  Broadcast Audio Extension (bext): %s", hexDump(c).c_str());

    const bool big = job.srcEndianessValues == kBigEndian;
    const auto u16 = [&](size_t at) { return big ? bytes::readU16BE(&c[at]) : bytes::readU16LE(&c[at]); };
    const auto u64 = [&](size_t at) { return big ? bytes::readU64BE(&c[at]) : bytes::readU64LE(&c[at]); };
    const auto i16 = [&](size_t at) { return static_cast<int>(static_cast<int16_t>(u16(at))); };

    const std::string description = fieldText(&c[kBextDescription], 256);
    const std::string originator = fieldText(&c[kBextOriginator], 32);
    const std::string reference = fieldText(&c[kBextOriginatorReference], 32);
    const std::string date = fieldText(&c[kBextOriginationDate], 10);
    const std::string time = fieldText(&c[kBextOriginationTime], 8);
    const auto timeReference = static_cast<unsigned long>(u64(kBextTimeReference));
    const unsigned version = u16(kBextVersion);
    const std::string umid = hex(&c[kBextUmid], kBextUmidSize);
    const int loudness = i16(kBextLoudness);
    const int range = i16(kBextLoudness + 2);
    const int truePeak = i16(kBextLoudness + 4);
    const int momentary = i16(kBextLoudness + 6);
    const int shortTerm = i16(kBextLoudness + 8);
    const std::string history = fieldText(c.data() + kBextCodingHistory, c.size() - kBextCodingHistory);

    platform::log("<Info>  Description: %s", description.c_str());
    platform::log("<Info>  Originator: %s", originator.c_str());
    platform::log("<Info>  OriginatorReference: %s", reference.c_str());
    platform::log("<Info>  OriginationDate: %s", date.c_str());
    platform::log("<Info>  OriginationTime: %s", time.c_str());
    platform::log("<Info>  TimeReference: %lu (samples @ %.0fHz)", timeReference, job.srcFrameRate);
    platform::log("<Info>  Version: %u", version);
    platform::log("<Info>  SMPTE_UMID[64]: %s", umid.c_str());
    platform::log("<Info>  LoudnessValue: %i (LUFS x 100)", loudness);
    platform::log("<Info>  LoudnessRange: %i (LU x 100)", range);
    platform::log("<Info>  MaxTruePeakLevel: %i (dBTP x 100)", truePeak);
    platform::log("<Info>  MaxMomentaryLoudness: %i (LUFS x 100)", momentary);
    platform::log("<Info>  MaxShortTermLoudness: %i (LUFS x 100)", shortTerm);
    platform::log("<Info>  CodingHistory: %s", history.c_str());

    auto& m = job.srcMetrics;
    m.push_back("---- Broadcast Wave Information (bext chunk) ----");
    m.push_back(platform::format("[Description]: %s", description.c_str()));
    m.push_back(platform::format("[Originator]: %s", originator.c_str()));
    m.push_back(platform::format("[OriginatorReference]: %s", reference.c_str()));
    m.push_back(platform::format("[OriginationDate]: %s", date.c_str()));
    m.push_back(platform::format("[OriginationTime]: %s", time.c_str()));
    m.push_back(platform::format("[TimeReference]: %lu (samples @ %.0fHz)", timeReference, job.srcFrameRate));
    m.push_back(platform::format("[Version]: %u", version));
    m.push_back(platform::format("[SMPTE_UMID]: %s", umid.c_str()));
    m.push_back(platform::format("[LoudnessValue]: %i (LUFS x 100)", loudness));
    m.push_back(platform::format("[LoudnessRange]: %i (LU x 100)", range));
    m.push_back(platform::format("[MaxTruePeakLevel]: %i (dBTP x 100)", truePeak));
    m.push_back(platform::format("[MaxMomentaryLoudness]: %i (LUFS x 100)", momentary));
    m.push_back(platform::format("[MaxShortTermLoudness]: %i (LUFS x 100)", shortTerm));
    m.push_back(platform::format("[CodingHistory]: %s", history.c_str()));
}

void AnalyseAudioMetricsIXML(AudioFile& job, unsigned) {
    const std::vector<uint8_t>& c = job.srcIXMLChunkData;
    if (c.empty()) return;
    if (c.size() < kIXMLMinSize) {
        platform::log("<ERROR> iXML chunk is too short");
        job.error |= kErrorHeader;
        return;
    }
    platform::log("<Info> Analysing the source audio iXML metrics");
    const std::string text = fieldText(c.data() + kChunkHeaderSize, c.size() - kChunkHeaderSize);
    platform::log("<Info>  Location Sound Metadata (iXML): %s", text.c_str());
    job.srcMetrics.push_back("---- Location Sound Metadata (iXML chunk) ----");
    job.srcMetrics.push_back(text);
}

void AnalyseAudioMetricsVorbis(AudioFile& job, unsigned) {
    if (job.srcVorbisComments.empty()) return;
    platform::log("<Info> Analysing the FLAC metadata (Vorbis comments)");
    job.srcMetrics.push_back("---- FLAC Vorbis Comments ----");
    for (const auto& comment : job.srcVorbisComments) {
        platform::log("<Info>  %s", comment.c_str());
        job.srcMetrics.push_back(comment);
    }
}

void CreateBextChunk(AudioFile& job, std::vector<uint8_t>& out, uint32_t size) {
    if (size == 0) return;
    QRM_ASSERT(job.dstEndianessValues == kLittleEndian, "Unexpected destination values endianess in %s",
               __func__);
    const std::vector<uint8_t>& src = job.srcBextChunkData;
    if (src.empty()) {
        QRM_ASSERT(size == kBextFixedSize, "Unexpected bext chunk size %u in %s", size, __func__);
        bytes::appendText(out, "bext");
        bytes::appendU32LE(out, kBextFixedSize - kChunkHeaderSize);
        out.insert(out.end(), kBextVersion - kChunkHeaderSize, 0);  // empty texts, TimeReference 0
        bytes::appendU16LE(out, kBextWrittenVersion);
        out.insert(out.end(), kBextUmidSize, 0);
        appendLoudness(job, out);
        out.insert(out.end(), kBextCodingHistory - kBextReserved, 0);
        return;
    }
    // The analysis refused shorter chunks; a size beyond the stored one is a caller's slip.
    if (size < kBextFixedSize || size > src.size()) {
        QRM_FAIL("Unexpected bext chunk size %u in %s", size, __func__);
        return;
    }
    // Everything of the source is kept but Version and the loudness of the converted audio.
    // The size field is the body that follows, which is the stored one for any chunk read
    // from a WAV file; an APPLICATION block of a FLAC file may carry a size that does not
    // match its data, and the output must not inherit that.
    bytes::appendText(out, "bext");
    bytes::appendU32LE(out, size - 8);
    out.insert(out.end(), src.begin() + kChunkHeaderSize, src.begin() + kBextVersion);
    bytes::appendU16LE(out, kBextWrittenVersion);
    out.insert(out.end(), src.begin() + kBextUmid, src.begin() + kBextLoudness);
    appendLoudness(job, out);
    out.insert(out.end(), src.begin() + kBextReserved, src.begin() + size);
}

void CreateIXMLChunk(AudioFile& job, std::vector<uint8_t>& out, uint32_t size) {
    appendStoredChunk(job, out, size, "iXML", job.srcIXMLChunkData, __func__);
}

void CreateID3Chunk(AudioFile& job, std::vector<uint8_t>& out, uint32_t size) {
    appendStoredChunk(job, out, size, "ID3 ", job.srcID3ChunkData, __func__);
}

}  // namespace quiramo
