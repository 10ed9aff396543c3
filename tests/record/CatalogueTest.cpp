#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "engine/record/Catalogue.h"
#include "platform/Assert.h"
#include "tests/record/CatalogueTable.h"

namespace quiramo {
namespace {

using namespace catalogue;
using test::kTypeTable;
using test::maskOfCodes;

// Records assertion messages instead of throwing, so that the fallback value a function
// returns after an assertion can be checked too.
class RecordedAssertions {
  public:
    RecordedAssertions() : previous_(platform::setAssertionHandler(&record)) { messages().clear(); }
    ~RecordedAssertions() { platform::setAssertionHandler(previous_); }
    static std::vector<std::string>& messages() {
        static std::vector<std::string> m;
        return m;
    }

  private:
    static void record(const char*, int, const std::string& message) { messages().push_back(message); }
    platform::AssertionHandler previous_;
};

uint64_t maskWhere(bool (*pick)(const test::TypeRow&)) {
    uint64_t mask = 0;
    for (const auto& row : kTypeTable) {
        if (pick(row)) mask |= uint64_t{1} << row.k;
    }
    return mask;
}

TEST(Catalogue, EveryTypeMatchesTheTable) {
    ASSERT_EQ(enhancements().size(), 54u);
    for (const auto& row : kTypeTable) {
        SCOPED_TRACE(row.code);
        const uint64_t value = uint64_t{1} << row.k;
        const Enhancement* e = findEnhancement(value);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->value(), value);
        EXPECT_STREQ(e->code, row.code);
        EXPECT_STREQ(e->name, row.name);
        EXPECT_STREQ(displayName(value), row.name);
        EXPECT_EQ(e->priorPosition, row.p);
        EXPECT_EQ(e->group, row.g);
        EXPECT_EQ(e->mode, row.mode);
        EXPECT_EQ(e->channels, row.ch);
        EXPECT_EQ(groupOf(value), row.g);
        std::string lower = row.code;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(defaultSuffix(*e), "-" + lower);
        EXPECT_EQ(suffixKey(*e), std::string("FileSuffix") + row.code);
        EXPECT_EQ(findEnhancementByCode(lower), e);
        EXPECT_EQ(findEnhancementByCode(row.code), e);
        EXPECT_EQ(typeForPriorPosition(row.p), value);
    }
    EXPECT_EQ(kAllTypes, 0x3FFFFFFFFFFFFFu);
    EXPECT_EQ(kTypeNO, 1u);
}

TEST(Catalogue, QuernwaldTSymSitsAboveThe32BitRange) {
    const Enhancement* e = findEnhancementByCode("QWT");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->value(), uint64_t{1} << 32);
    EXPECT_EQ(e->value(), 4294967296u);
    EXPECT_EQ(kTypeQWT, e->value());
    EXPECT_EQ(defaultSuffix(*e), "-qwt");
    EXPECT_EQ(suffixKey(*e), "FileSuffixQWT");
    EXPECT_EQ(e->priorPosition, 49);
    EXPECT_STREQ(nameForPriorPosition(49), "QUERNWALD T-Sym");
}

TEST(Catalogue, LookupsRejectValuesOutsideTheCatalogue) {
    EXPECT_EQ(findEnhancement(0), nullptr);
    EXPECT_EQ(findEnhancement(kTypeQW | kTypeBQ), nullptr);
    EXPECT_EQ(findEnhancement(uint64_t{1} << 54), nullptr);
    EXPECT_EQ(findEnhancement(uint64_t{1} << 63), nullptr);
    EXPECT_STREQ(displayName(uint64_t{1} << 60), "");
    EXPECT_EQ(findEnhancementByCode("Q"), nullptr);
    EXPECT_EQ(findEnhancementByCode("QWTX"), nullptr);
    EXPECT_EQ(findEnhancementByCode(""), nullptr);
    EXPECT_EQ(typeForPriorPosition(54), 0u);
    EXPECT_STREQ(nameForPriorPosition(-1), "");
}

TEST(Catalogue, NamedMasksFollowTheTypeColumns) {
    EXPECT_EQ(kMultichannelTypes, maskWhere([](const test::TypeRow& r) { return r.ch == 6; }));
    EXPECT_EQ(kMultichannelTypes, 0x7000C1C00700u);
    EXPECT_EQ(kMultichannelTypes, maskOfCodes("CN51 CN50 CN40 QS SQ UHJ CS51 CS40 CD4 CD4HQ MH"));
    EXPECT_EQ(kCd4Types, maskOfCodes("CD4 CD4HQ"));
    EXPECT_EQ(kCd4Types, 0x300000000000u);
    EXPECT_EQ(kPhonographReplayEqTypes, maskWhere([](const test::TypeRow& r) {
                  return std::string(r.name).starts_with("Phonograph EQ ");
              }));
    EXPECT_EQ(kPhonographReplayEqTypes, 0x8FD02007F800u);
    EXPECT_EQ(kPhonographReplayEqTypes & maskOfCodes("PZ1"), 0u);
    for (const auto& e : enhancements()) {
        SCOPED_TRACE(e.code);
        EXPECT_EQ((kMultichannelTypes & e.value()) != 0, e.channels == 6);
    }
}

TEST(Catalogue, PriorConversionsPrintInPositionOrderWithTSymAfterTwinQuads) {
    const std::vector<std::string> expected = {"None",
                                               "QUERNWALD",
                                               "QUERNWALD ZS1",
                                               "Bride of QUERNWALD",
                                               "Inner Room",
                                               "Lattice Delta",
                                               "Twin Quads",
                                               "QUERNWALD T-Sym",
                                               "Cantor 51 Surround",
                                               "Cantor 50 Surround",
                                               "Cantor 40 Surround",
                                               "Cantor 20 Headphones",
                                               "Raumformer Loudspeakers",
                                               "Raumformer Headphones",
                                               "QS Quadraphonic",
                                               "SQ Quadraphonic",
                                               "Matrix H Quadraphonic",
                                               "JVC CD-4 Quadraphonic",
                                               "High-Quality CD-4 Quadraphonic",
                                               "Ambisonic UHJ Quadraphonic",
                                               "Phonograph EQ A1 (RIAA)",
                                               "Phonograph EQ A2 (Decca LP)",
                                               "Phonograph EQ A3 (TELDEC/AES)",
                                               "Phonograph EQ B1 (NAB)",
                                               "Phonograph EQ B2 (Columbia LP)",
                                               "Phonograph EQ C (CCIR/Coarse Groove)",
                                               "Phonograph EQ D (Quad 22 all buttons)",
                                               "Phonograph EQ E (500-Flat)",
                                               "Phonograph EQ F (Flat/Acoustic)",
                                               "Phonograph EQ G (European 78s)",
                                               "Phonograph EQ H (American 78s)",
                                               "Phonograph EQ J (Columbia 78s)",
                                               "Phonograph EQ K (Ceramic)",
                                               "Phonograph EQ P1 (Strain-Gauge/Light-Valve Cartridge)",
                                               "Phonograph EQ P2 (DisC Displacement Cartridge)",
                                               "Phonograph EQ P3 (Virtual MM RIAA preamp)",
                                               "Phonograph EQ S (Displacement)",
                                               "Phonograph anti-EQ A1 (RIAA)",
                                               "CD De-emphasis",
                                               "Tape EQ A (15 ips CCIR > NAB)",
                                               "Tape EQ B (15 ips NAB > CCIR)",
                                               "Tape EQ C (7.5 ips CCIR > NAB)",
                                               "Tape EQ D (7.5 ips NAB > CCIR)",
                                               "Veltrane Rumble Filter",
                                               "Kestrel ONE",
                                               "Cassette Noise Reduction",
                                               "Cat 22 Noise Reduction",
                                               "Cinema Surround 5.1",
                                               "Cinema Surround 4.0",
                                               "Groove",
                                               "Hum Removal",
                                               "Hum Removal Bass Compensation",
                                               "Hi-Res",
                                               "Unlimiting"};
    std::vector<std::string> printed;
    for (int p : priorConversionPrintOrder()) printed.push_back(nameForPriorPosition(p));
    EXPECT_EQ(printed, expected);
}

// Each mode's offered set: derived from the Mode column, and as the selection rules state it.
TEST(Catalogue, ModesOfferTheTypesOfTheirColumn) {
    struct Row {
        uint32_t mode;
        uint64_t mask;
        const char* members;
    };
    const Row rows[] = {
        {1, 0x1, "NO"},
        {2, 0x8C0002000801, "NO PA1 PZ1 PP1 PP2 PP3"},
        {4, 0x3D02007F001, "NO PA2 PA3 PB1 PB2 PC PD PE PF PG PH PJ PK PS"},
        {8, 0x4000001, "NO CD"},
        {16384, 0x1E000000000001, "NO TA TB TC TD"},
        {16, 0xF, "NO QW ZS1 BQ"},
        {32, 0x100000001, "NO QWT"},
        {64, 0xC1, "NO IR CN20"},
        {128, 0x701, "NO CN51 CN50 CN40"},
        {256, 0x31, "NO LD TQ"},
        {512, 0x7000C0C00001, "NO QS SQ MH CD4 CD4HQ CS51 CS40"},
        {1024, 0x1000001, "NO UHJ"},
        {2048, 0x2200000001, "NO UNL HR"},
        {4096, 0x21000C08080001, "NO RF KO CNR C22 HUM HUMB"},
        {8192, 0x10300001, "NO RL RH GR"},
    };
    ASSERT_EQ(modes().size(), 15u);
    uint64_t everyOffered = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        uint64_t fromColumn = 1;
        for (const auto& t : kTypeTable) {
            if (t.mode == row.mode) fromColumn |= uint64_t{1} << t.k;
        }
        EXPECT_EQ(row.mask, fromColumn);
        EXPECT_EQ(row.mask, maskOfCodes(row.members));
        EXPECT_EQ(offeredByMode(row.mode), row.mask);
        const Mode* m = findMode(row.mode);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->offered, row.mask);
        everyOffered |= row.mask;
    }
    EXPECT_EQ(everyOffered, kAllTypes);  // every type is offered by some mode
    EXPECT_STREQ(findMode(2048)->title, "Digital Recovery");
    for (uint32_t v = 1; v <= 16384; v <<= 1) EXPECT_NE(findMode(v), nullptr) << v;
    EXPECT_EQ(findMode(0), nullptr);
    EXPECT_EQ(findMode(32768), nullptr);
    EXPECT_EQ(findMode(3), nullptr);
}

TEST(Catalogue, ModePopupListsModeOneThenASeparatorThenTheModes) {
    const std::array<uint32_t, 16> expected = {1,  0,   2,   4,   8,    16384, 16,   32,
                                               64, 128, 256, 512, 1024, 2048,  4096, 8192};
    EXPECT_EQ(modePopupOrder(), expected);
}

TEST(Catalogue, GroupSetsFollowTheGroupColumn) {
    struct Row {
        int group;
        uint64_t mask;
        const char* members;
    };
    // In lookup order.
    const Row rows[kGroupCount] = {
        {0, 0x1, "NO"},
        {1, 0x8C0000000800, "PA1 PP1 PP2 PP3"},
        {2, 0x2000000, "PZ1"},
        {3, 0x3D02007F000, "PA2 PA3 PB1 PB2 PC PD PE PF PG PH PJ PK PS"},
        {4, 0x4000000, "CD"},
        {21, 0x1E000000000000, "TA TB TC TD"},
        {5, 0x100000000, "QWT"},
        {6, 0xE, "QW ZS1 BQ"},
        {8, 0xC0, "IR CN20"},
        {9, 0x700, "CN51 CN50 CN40"},
        {7, 0x30, "LD TQ"},
        {10, 0x400000C00000, "QS SQ MH"},
        {11, 0x300000000000, "CD4 CD4HQ"},
        {12, 0xC0000000, "CS51 CS40"},
        {13, 0x1000000, "UHJ"},
        {14, 0x2000000000, "HR"},
        {15, 0x200000000, "UNL"},
        {16, 0x20000000080000, "KO RF"},
        {17, 0x1000008000000, "C22 CNR"},
        {18, 0xC00000000, "HUM HUMB"},
        {19, 0x10000000, "GR"},
        {20, 0x300000, "RL RH"},
    };
    uint64_t seen = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.group);
        uint64_t fromColumn = 0;
        for (const auto& t : kTypeTable) {
            if (t.g == row.group) fromColumn |= uint64_t{1} << t.k;
        }
        EXPECT_EQ(row.mask, fromColumn);
        EXPECT_EQ(row.mask, maskOfCodes(row.members));
        EXPECT_EQ(groupMembers(row.group), row.mask);
        EXPECT_EQ(seen & row.mask, 0u) << "groups overlap";
        seen |= row.mask;
    }
    EXPECT_EQ(seen, kAllTypes);

    // A value with bits of two groups (never a setting) names the group tested first.
    for (size_t a = 0; a < kGroupCount; ++a) {
        for (size_t b = a + 1; b < kGroupCount; ++b) {
            const uint64_t lowestOfB = rows[b].mask & (~rows[b].mask + 1);
            EXPECT_EQ(groupOf(rows[a].mask | lowestOfB), rows[a].group)
                << rows[a].group << " vs " << rows[b].group;
            EXPECT_EQ(groupOf(rows[a].mask | rows[b].mask), rows[a].group);
        }
    }
}

TEST(Catalogue, AValueInNoGroupOrModeAssertsAndFallsBackToNone) {
    EXPECT_THROW(groupOf(0), platform::AssertionError);
    try {
        groupOf(uint64_t{1} << 54);
        FAIL() << "no assertion";
    } catch (const platform::AssertionError& e) {
        EXPECT_STREQ(e.what(), "Unexpected paramter in groupOf");
    }

    RecordedAssertions recorded;
    EXPECT_EQ(groupOf(0), 0);
    EXPECT_EQ(groupOf(uint64_t{1} << 60), 0);
    EXPECT_EQ(allowedAfter(0), 0x1u);
    EXPECT_EQ(offeredByMode(3), 0x1u);
    EXPECT_EQ(offeredByMode(0), 0x1u);
    const std::vector<std::string> expected = {
        "Unexpected paramter in groupOf", "Unexpected paramter in groupOf",
        "Unexpected paramter in allowedAfter", "Unexpected paramter in offeredByMode",
        "Unexpected paramter in offeredByMode"};
    EXPECT_EQ(RecordedAssertions::messages(), expected);
}

TEST(Catalogue, Enhancement2AllowedAfterEachEnhancement1) {
    struct Row {
        uint64_t type1Set;
        const char* type1Members;
        uint64_t allowed;
        const char* allowedMembers;
    };
    const char* afterReplayEq = "NO QW ZS1 BQ QWT IR CN20 CN51 CN50 CN40 QS SQ MH CS51 CS40";
    const char* afterTapeEq = "NO QW ZS1 BQ QWT IR CN20 CN51 CN50 CN40 GR UNL";
    const Row rows[] = {
        {0x1, "NO", 0x1, "NO"},
        {0x8C0000000800, "PA1 PP1 PP2 PP3", 0x4001C0C007CF, afterReplayEq},
        {0x2000000, "PZ1", 0x1, "NO"},
        {0x3D02007F000, "PA2 PA3 PB1 PB2 PC PD PE PF PG PH PJ PK PS", 0x4001C0C007CF, afterReplayEq},
        {0x1E000004000000, "TA TB TC TD CD", 0x3100007CF, afterTapeEq},
        {0x400100C007FE, "QW ZS1 BQ QWT LD TQ IR CN20 CN51 CN50 CN40 QS SQ MH", 0x210000001, "NO GR UNL"},
        {0x300000000000, "CD4 CD4HQ", 0x1, "NO"},
        {0xC1000000, "UHJ CS51 CS40", 0x210000001, "NO GR UNL"},
        {0x2000000000, "HR", 0x3100007CF, afterTapeEq},
        {0x200000000, "UNL", 0x1100007CF, "NO QW ZS1 BQ QWT IR CN20 CN51 CN50 CN40 GR"},
        {0x21000C08080000, "RF CNR C22 HUM HUMB KO", 0x3100007CF, afterTapeEq},
        {0x10000000, "GR", 0x1, "NO"},
        {0x300000, "RL RH", 0x10000001, "NO GR"},
    };
    uint64_t covered = 0;
    uint64_t everAllowed = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type1Members);
        EXPECT_EQ(row.type1Set, maskOfCodes(row.type1Members));
        EXPECT_EQ(row.allowed, maskOfCodes(row.allowedMembers));
        EXPECT_EQ(covered & row.type1Set, 0u);
        covered |= row.type1Set;
        everAllowed |= row.allowed;
        for (const auto& t : kTypeTable) {
            const uint64_t v = uint64_t{1} << t.k;
            if (row.type1Set & v) {
                EXPECT_EQ(allowedAfter(v), row.allowed) << t.code;
            }
        }
    }
    EXPECT_EQ(covered, kAllTypes);  // every type has a row, none asserts

    // Never allowed as Enhancement 2: the stereo-width pair, replay EQs, restoration
    // filters and decoders.
    EXPECT_EQ(everAllowed & maskOfCodes("LD TQ"), 0u);
    EXPECT_EQ(everAllowed & (kPhonographReplayEqTypes | maskOfCodes("PZ1 CD TA TB TC TD")), 0u);
    EXPECT_EQ(everAllowed & maskOfCodes("RF KO CNR C22 HUM HUMB UHJ CD4 CD4HQ HR RL RH"), 0u);
    EXPECT_EQ(allowedAfter(kTypeUNL) & kTypeUNL, 0u);
    EXPECT_NE(allowedAfter(kTypeHR) & kTypeUNL, 0u);
    EXPECT_EQ(allowedAfter(kTypeGR), 0x1u);
    EXPECT_NE(allowedAfter(kTypeRH) & kTypeGR, 0u);
    EXPECT_EQ(allowedAfter(kTypePZ1), 0x1u);
    EXPECT_EQ(groupOf(kTypePZ1), 2);
    EXPECT_NE(offeredByMode(2) & kTypePZ1, 0u);
}

TEST(Catalogue, OutputFormats) {
    struct Row {
        int value;
        const char* extension;
        const char* typeText;
        int headerOrder, dataOrder;
        unsigned written, first;
    };
    const Row rows[] = {
        {1, nullptr, nullptr, 0, 0, 0, 0},      {2, "wav", "WAV audio", 2, 2, 0, 0},
        {4, "aif", "AIFF audio", 1, 1, 0, 0},   {8, "aiff", "AIFF-C audio", 1, 2, 0, 0},
        {16, "flac", "FLAC audio", 2, 2, 0, 0}, {32, "wav", "WAV L+R", 2, 2, 2, 0},
        {64, "wav", "WAV C+LFE", 2, 2, 2, 2},   {128, "wav", "WAV sL+sR", 2, 2, 2, 4},
        {256, "wav", "WAV L", 2, 2, 1, 0},      {512, "wav", "WAV R", 2, 2, 1, 1},
        {1024, "wav", "WAV C", 2, 2, 1, 2},     {2048, "wav", "WAV LFE", 2, 2, 1, 3},
        {4096, "wav", "WAV sL", 2, 2, 1, 4},    {8192, "wav", "WAV sR", 2, 2, 1, 5},
    };
    ASSERT_EQ(outputFormats().size(), 14u);
    int all = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const OutputFormat* f = findOutputFormat(row.value);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->extension == nullptr, row.extension == nullptr);
        if (row.extension) {
            EXPECT_STREQ(f->extension, row.extension);
        }
        EXPECT_EQ(f->typeText == nullptr, row.typeText == nullptr);
        if (row.typeText) {
            EXPECT_STREQ(f->typeText, row.typeText);
        }
        EXPECT_EQ(f->headerOrder, row.headerOrder);
        EXPECT_EQ(f->dataOrder, row.dataOrder);
        EXPECT_EQ(f->channelsWritten, row.written);
        EXPECT_EQ(f->firstChannel, row.first);
        EXPECT_EQ(findOutputFormatByName(f->cliName), f);
        all |= row.value;
    }
    EXPECT_EQ(all, kAllOutputFormats);
    EXPECT_EQ(kSplitOutputFormats, all & ~0x1F);
    EXPECT_EQ(findOutputFormat(0), nullptr);
    EXPECT_EQ(findOutputFormat(3), nullptr);
    EXPECT_EQ(findOutputFormat(16384), nullptr);

    // Source types use the numbers of the output formats of the same kind.
    EXPECT_STREQ(fileTypeText(kFileWAV), "WAV audio");
    EXPECT_STREQ(fileTypeText(kFileAIFF), "AIFF audio");
    EXPECT_STREQ(fileTypeText(kFileAIFC), "AIFF-C audio");
    EXPECT_STREQ(fileTypeText(kFileFLAC), "FLAC audio");
    EXPECT_STREQ(fileTypeText(0), "");
    EXPECT_STREQ(fileTypeText(1), "");
}

}  // namespace
}  // namespace quiramo
