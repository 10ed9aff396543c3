#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/Bytes.h"
#include "formats/SignatureChunk.h"
#include "platform/Host.h"
#include "platform/Log.h"
#include "tests/support/ImageParts.h"

namespace quiramo {
namespace {

using catalogue::bit;
using test::textAt;

// A chunk as an earlier version wrote it: w-byte enhancement fields.
std::vector<uint8_t> oldChunk(const std::string& version, size_t w, uint64_t type1, uint64_t type2) {
    const std::vector<uint8_t> body = test::signatureBody(type1, type2, version, w);
    std::vector<uint8_t> c;
    bytes::appendText(c, "QUER");
    bytes::appendU32LE(c, static_cast<uint32_t>(16 + 2 * w + 26));
    c.insert(c.end(), body.begin(), body.end());
    return c;
}

TEST(SignatureChunk, LayoutIn66BytesInEitherByteOrder) {
    for (int order : {kLittleEndian, kBigEndian}) {
        SCOPED_TRACE(order);
        AudioFile job("/a/b.wav", false, false);
        job.filterType_1 = catalogue::kTypeQW;
        job.filterType_2 = catalogue::kTypeHR;
        job.dstEndianessValues = order;
        std::vector<uint8_t> out = {0xEE};  // appended after what is there
        const std::time_t before = std::time(nullptr);
        CreateMetadataChunk(job, out);
        ASSERT_EQ(out.size(), 1 + kSignatureChunkSize);
        out.erase(out.begin());

        EXPECT_EQ(textAt(out, 0, 4), "QUER");
        const uint8_t le[4] = {58, 0, 0, 0}, be[4] = {0, 0, 0, 58};
        EXPECT_EQ(textAt(out, 4, 4),
                  std::string(reinterpret_cast<const char*>(order == kBigEndian ? be : le), 4));
        EXPECT_EQ(textAt(out, 8, 16), "v2.1.0          ");
        EXPECT_EQ(bytes::readU64BE(out.data() + 24), uint64_t{2});
        EXPECT_EQ(bytes::readU64BE(out.data() + 32), uint64_t{1} << 37);
        const std::string time = textAt(out, 40, 26);
        // The time written is the time of writing, padded with one blank to 26 bytes.
        EXPECT_EQ(time.back(), ' ') << time;
        const std::string now = conversionTimeText(before), later = conversionTimeText(std::time(nullptr));
        EXPECT_TRUE(time.starts_with(now) || time.starts_with(later)) << time;
        EXPECT_EQ(job.error, 0);
    }
}

TEST(SignatureChunk, ConversionTimeFormat) {
    const char* saved = getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "XST-1", 1);  // one hour east of UTC, no tz database needed
    tzset();
    // 2016-05-04 16:03:22 UTC
    EXPECT_EQ(conversionTimeText(1462377802), "2016-05-04 17:03:22 +0100");
    setenv("TZ", "YST5", 1);
    tzset();
    EXPECT_EQ(conversionTimeText(1462377802), "2016-05-04 11:03:22 -0500");
    if (saved) {
        setenv("TZ", previous.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(SignatureChunk, VersionRule) {
    const struct {
        const char* text;
        int version;
    } cases[] = {
        {"v2.0.13         ", 1},
        {"v2.0.14         ", 2},
        {"v2.1", 2},
        {"v3", 2},
        {"v2.0.9", 1},
        {"v1.9.99", 1},
        {"V2-0-14", 2},
        {"2.0.13b", 1},
        {"v2..1", 2},
        {"", 1},
        {"v2.0", 1},
        {"v99999999999999999999", 2},
        {"v2.1.0          ", 2},
        {"vvv", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(GetMetadataChunkVersion(c.text), c.version) << c.text;
    EXPECT_EQ(GetMetadataChunkVersion(shortVersionString()), 2);
}

TEST(SignatureChunk, DecodeOfBothLayouts) {
    struct Case {
        const char* name;
        std::vector<uint8_t> chunk;
        uint64_t warning_1, warning_2;
        int error;
        const char* line;
    };
    const Case cases[] = {
        {"layout 1, Enhancement 2 value 4 is Groove", oldChunk("v2.0.9", 4, 2, 4), bit(1), bit(48), 0,
         "<Info>  Enhancement 2 type = 4 (hex) 4 (dec)"},
        {"layout 1, Enhancement 2 value 2 is Groove", oldChunk("v2.0.13", 4, 1, 2), bit(0), bit(48), 0,
         nullptr},
        {"layout 1, None", oldChunk("v2.0.13", 4, 1, 1), bit(0), bit(0), 0, nullptr},
        {"layout 1, value 16", oldChunk("v2.0.9", 4, 2, 16), bit(1), 0, kErrorHeader,
         "<ERROR> Unexpected metadata_2 filter index"},
        {"layout 2, Inner Room + Hi-Res", oldChunk("v2.0.14", 8, bit(6), bit(37)), bit(4), bit(52), 0,
         "<Info>  Enhancement 1 type = 40 (hex) 64 (dec)"},
        {"unknown Enhancement 1", oldChunk("v2.1.0", 8, 3, 1), 0, 0, kErrorHeader,
         "<ERROR> Unexpected metadata filter index"},
        {"beyond the catalogue", oldChunk("v2.1.0", 8, bit(54), 1), 0, 0, kErrorHeader,
         "<ERROR> Unexpected metadata filter index"},
        {"layout 1 chunk named as layout 2", oldChunk("v2.0.14", 4, 2, 1), 0, 0, kErrorHeader,
         "<ERROR> Unexpected QUER chunk length: 58"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AudioFile job("/a/b.wav", false, false);
        platform::ScopedMemoryLog log;
        DecodeMetadataChunk(job, c.chunk.data(), c.chunk.size(), false);
        EXPECT_EQ(job.warning_1, c.warning_1);
        EXPECT_EQ(job.warning_2, c.warning_2);
        EXPECT_EQ(job.error, c.error);
        if (c.line) {
            const auto lines = log.lines();
            EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.line;
        }
    }
}

TEST(SignatureChunk, WrittenChunkReadsBackWithItsLogLines) {
    AudioFile writer("/a/b.wav", false, false);
    writer.filterType_1 = catalogue::kTypeQW;
    writer.filterType_2 = catalogue::kTypeHR;
    writer.dstEndianessValues = kLittleEndian;
    std::vector<uint8_t> chunk;
    CreateMetadataChunk(writer, chunk);

    AudioFile reader("/a/b.wav", false, false);
    reader.warnPreprocess = false;
    platform::ScopedMemoryLog log;
    DecodeMetadataChunk(reader, chunk.data(), chunk.size(), true);
    EXPECT_EQ(reader.error, 0);
    EXPECT_EQ(reader.warning_1, bit(1));
    EXPECT_EQ(reader.warning_2, bit(52));
    const std::vector<std::string> expected = {
        "<Info>  version = v2.1.0          ",
        "<Info>  Enhancement 1 type = 2 (hex) 2 (dec)",
        "<Info>  Enhancement 2 type = 2000000000 (hex) 137438953472 (dec)",
        "<Info>  Converted: " + textAt(chunk, 40, 26),
        "<WARNING> This file has already been processed with QUERNWALD + Hi-Res",
    };
    EXPECT_EQ(log.lines(), expected);
}

// The dialog goes through the host, only for the analysis pass and only when the user
// wants it; Enhancement 2 alone is no reason to warn.
TEST(SignatureChunk, AlreadyProcessedWarning) {
    struct Case {
        uint64_t type1, type2;
        bool headerOnly, warnPreprocess;
        const char* text;  // of the warning; nullptr: no warning at all
        bool dialog;
    };
    const Case cases[] = {
        {catalogue::kTypeQW, catalogue::kTypeHR, true, true, "QUERNWALD + Hi-Res", true},
        {catalogue::kTypeQW, catalogue::kTypeHR, true, false, "QUERNWALD + Hi-Res", false},
        {catalogue::kTypeQW, catalogue::kTypeHR, false, true, nullptr, false},
        {catalogue::kTypeNO, catalogue::kTypeGR, true, true, nullptr, false},
        {catalogue::kTypeNO, catalogue::kTypeNO, true, true, nullptr, false},
        {catalogue::kTypeQWT, catalogue::kTypeNO, true, true, "QUERNWALD T-Sym", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.type1 << " " << c.type2 << " " << c.headerOnly << c.warnPreprocess);
        platform::HeadlessHost host;
        platform::setHost(&host);
        AudioFile job("/a/b.wav", false, false);
        job.warnPreprocess = c.warnPreprocess;
        platform::ScopedMemoryLog log;
        MetadataWarning(job, c.type1, c.type2, c.headerOnly, 2);
        platform::setHost(nullptr);

        EXPECT_EQ(job.error, 0);
        std::vector<std::string> logged, shown;
        if (c.text)
            logged.push_back(std::string("<WARNING> This file has already been processed with ") + c.text);
        if (c.dialog)
            shown.push_back(std::string("This source file has already been processed with ") + c.text + ".");
        EXPECT_EQ(log.lines(), logged);
        EXPECT_EQ(host.warningsShown(), shown);
    }
}

TEST(SignatureChunk, BitsAccumulateOverPasses) {
    AudioFile job("/a/b.wav", false, false);
    job.warnPreprocess = false;
    MetadataWarning(job, catalogue::kTypeQW, catalogue::kTypeNO, false, 2);
    MetadataWarning(job, catalogue::kTypeQW, catalogue::kTypeGR, false, 2);
    EXPECT_EQ(job.warning_1, bit(1));
    EXPECT_EQ(job.warning_2, bit(0) | bit(48));
}

}  // namespace
}  // namespace quiramo
