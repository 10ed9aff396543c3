#include "formats/SignatureChunk.h"

#include <time.h>

#include <cstring>
#include <new>
#include <string>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "platform/Assert.h"
#include "platform/Log.h"

#ifndef QUIRAMO_SHORT_VERSION
#error "QUIRAMO_SHORT_VERSION must be defined by the build"
#endif

namespace quiramo {
namespace {

// Chunk layout: "QUER", body size, version text, the two enhancement values, the time.
constexpr uint32_t kBodySize = 58;
constexpr size_t kVersionOffset = 8;
constexpr size_t kVersionWidth = 16;
constexpr size_t kTypesOffset = 24;
constexpr size_t kTimeWidth = 26;

// "v" and the short version must fit the 16-byte version field.
constexpr char kVersionText[] = "v" QUIRAMO_SHORT_VERSION;
static_assert(sizeof(kVersionText) - 1 <= kVersionWidth,
              "the short version string is too long for the QUER chunk");

// Every enhancement bit a chunk can mention apart from "None".
constexpr uint64_t kPriorEnhancementMask = 0x3FFFFFFFFFFFFE;
// Layout 1 recorded Enhancement 2 as 2, 4 or 8, which all meant Groove.
constexpr int kGroovePosition = 48;

void appendPadded(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    bytes::appendText(out, text);
    out.insert(out.end(), width - text.size(), static_cast<uint8_t>(' '));
}

uint64_t readField(const uint8_t* p, size_t width) {
    return width == 4 ? bytes::readU32BE(p) : bytes::readU64BE(p);
}

// The leading decimal number of a version piece ("13b" -> 13), saturating far beyond any
// real version number.
uint64_t pieceValue(std::string_view piece) {
    uint64_t v = 0;
    for (char c : piece) {
        if (c < '0' || c > '9') break;
        if (v < 1000000000) v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    return v;
}

}  // namespace

const char* shortVersionString() {
    return kVersionText;
}

std::string conversionTimeText(std::time_t when) {
    struct tm local {};
    localtime_r(&when, &local);
    char text[64];
    // The en_US_POSIX pattern "yyyy-MM-dd'T'HH:mm:ss Z" with its "T" turned into a blank.
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return std::string(text, n);
}

void CreateMetadataChunk(AudioFile& job, std::vector<uint8_t>& out) {
    const std::string version = shortVersionString();
    QRM_ASSERT(version.size() <= kVersionWidth,
               "The version string length is too long for the QUER chunk in %s", __func__);
    const std::string date = conversionTimeText(std::time(nullptr));
    QRM_ASSERT(date.size() <= kTimeWidth, "The date string length is too long for the QUER chunk in %s",
               __func__);

    std::vector<uint8_t> chunk;
    try {
        chunk.reserve(kSignatureChunkSize);
        out.reserve(out.size() + kSignatureChunkSize);
    } catch (const std::bad_alloc&) {
        reportAllocationFailure(job);
        return;
    }
    bytes::appendText(chunk, "QUER");
    if (job.dstEndianessValues == kBigEndian) {
        bytes::appendU32BE(chunk, kBodySize);
    } else {
        bytes::appendU32LE(chunk, kBodySize);
    }
    appendPadded(chunk, version, kVersionWidth);
    bytes::appendU64BE(chunk, job.filterType_1);
    bytes::appendU64BE(chunk, job.filterType_2);
    appendPadded(chunk, date, kTimeWidth);
    out.insert(out.end(), chunk.begin(), chunk.end());
}

int GetMetadataChunkVersion(std::string_view versionText) {
    uint64_t parts[3] = {0, 0, 0};
    size_t found = 0;
    size_t start = 0;
    while (start < versionText.size() && found < 3) {
        const size_t end = versionText.find_first_of("vV.- ", start);
        const std::string_view piece =
            versionText.substr(start, end == std::string_view::npos ? end : end - start);
        if (!piece.empty()) parts[found++] = pieceValue(piece);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    const uint64_t major = parts[0], minor = parts[1], patch = parts[2];
    // 2.0.13 was the last release with 4-byte enhancement fields.
    if (major > 2 || (major == 2 && (minor != 0 || patch > 13))) return 2;
    return 1;
}

void MetadataWarning(AudioFile& job, uint64_t type1, uint64_t type2, bool headerOnly, int version) {
    std::string text;

    const catalogue::Enhancement* e1 = catalogue::findEnhancement(type1);
    if (!e1) {
        platform::log("<ERROR> Unexpected metadata filter index");
        job.error |= kErrorHeader;
        return;
    }
    job.warning_1 |= catalogue::bit(e1->priorPosition);
    if (type1 != catalogue::kTypeNO) text = e1->name;

    if (version == 1) {
        if (type2 == 1) {
            job.warning_2 |= 1;
        } else if (type2 == 2 || type2 == 4 || type2 == 8) {
            job.warning_2 |= catalogue::bit(kGroovePosition);
        } else {
            platform::log("<ERROR> Unexpected metadata_2 filter index");
            job.error |= kErrorHeader;
            return;
        }
    } else {
        const catalogue::Enhancement* e2 = catalogue::findEnhancement(type2);
        if (!e2) {
            platform::log("<ERROR> Unexpected metadata_2 filter index");
            job.error |= kErrorHeader;
            return;
        }
        job.warning_2 |= catalogue::bit(e2->priorPosition);
        if (type2 != catalogue::kTypeNO) text += platform::format(" + %s", e2->name);
    }

    // Only the analysis pass warns: the processing pass re-reads the same chunk.
    if (headerOnly && (job.warning_1 & kPriorEnhancementMask)) {
        platform::log("<WARNING> This file has already been processed with %s", text.c_str());
        if (job.warnPreprocess) job.ShowFileAlreadyProcessedWarning(text);
    }
}

void DecodeMetadataChunk(AudioFile& job, const uint8_t* chunk, size_t size, bool headerOnly) {
    if (size < kTypesOffset) {
        platform::log("<ERROR> Unexpected QUER chunk length: %zu", size);
        job.error |= kErrorHeader;
        return;
    }
    const char* versionText = reinterpret_cast<const char*>(chunk + kVersionOffset);
    const int version = GetMetadataChunkVersion(std::string_view(versionText, kVersionWidth));
    const size_t width = version == 1 ? 4 : 8;
    if (size < kTypesOffset + 2 * width + kTimeWidth) {
        platform::log("<ERROR> Unexpected QUER chunk length: %zu", size);
        job.error |= kErrorHeader;
        return;
    }
    const uint64_t type1 = readField(chunk + kTypesOffset, width);
    const uint64_t type2 = readField(chunk + kTypesOffset + width, width);
    const char* timeText = reinterpret_cast<const char*>(chunk + kTypesOffset + 2 * width);

    platform::log("<Info>  version = %16.16s", versionText);
    platform::log("<Info>  Enhancement 1 type = %lx (hex) %li (dec)", static_cast<unsigned long>(type1),
                  static_cast<long>(type1));
    platform::log("<Info>  Enhancement 2 type = %lx (hex) %li (dec)", static_cast<unsigned long>(type2),
                  static_cast<long>(type2));
    platform::log("<Info>  Converted: %26.26s", timeText);
    MetadataWarning(job, type1, type2, headerOnly, version);
}

}  // namespace quiramo
