#include "engine/record/Catalogue.h"

#include <strings.h>

#include "platform/Assert.h"

namespace quiramo::catalogue {
namespace {

// k, code, display name, prior-conversion position, group, mode, channels.
constexpr std::array<Enhancement, 54> kEnhancements = {{
    {0, "NO", "None", 0, 0, 0, 2},
    {1, "QW", "QUERNWALD", 1, 6, 16, 2},
    {2, "ZS1", "QUERNWALD ZS1", 2, 6, 16, 2},
    {3, "BQ", "Bride of QUERNWALD", 3, 6, 16, 2},
    {4, "LD", "Lattice Delta", 5, 7, 256, 2},
    {5, "TQ", "Twin Quads", 6, 7, 256, 2},
    {6, "IR", "Inner Room", 4, 8, 64, 2},
    {7, "CN20", "Cantor 20 Headphones", 10, 8, 64, 2},
    {8, "CN51", "Cantor 51 Surround", 7, 9, 128, 6},
    {9, "CN50", "Cantor 50 Surround", 8, 9, 128, 6},
    {10, "CN40", "Cantor 40 Surround", 9, 9, 128, 6},
    {11, "PA1", "Phonograph EQ A1 (RIAA)", 19, 1, 2, 2},
    {12, "PA2", "Phonograph EQ A2 (Decca LP)", 20, 3, 4, 2},
    {13, "PA3", "Phonograph EQ A3 (TELDEC/AES)", 21, 3, 4, 2},
    {14, "PB1", "Phonograph EQ B1 (NAB)", 22, 3, 4, 2},
    {15, "PB2", "Phonograph EQ B2 (Columbia LP)", 23, 3, 4, 2},
    {16, "PC", "Phonograph EQ C (CCIR/Coarse Groove)", 24, 3, 4, 2},
    {17, "PD", "Phonograph EQ D (Quad 22 all buttons)", 25, 3, 4, 2},
    {18, "PF", "Phonograph EQ F (Flat/Acoustic)", 27, 3, 4, 2},
    {19, "RF", "Veltrane Rumble Filter", 42, 16, 4096, 2},
    {20, "RL", "Raumformer Loudspeakers", 11, 20, 8192, 2},
    {21, "RH", "Raumformer Headphones", 12, 20, 8192, 2},
    {22, "QS", "QS Quadraphonic", 13, 10, 512, 6},
    {23, "SQ", "SQ Quadraphonic", 14, 10, 512, 6},
    {24, "UHJ", "Ambisonic UHJ Quadraphonic", 18, 13, 1024, 6},
    {25, "PZ1", "Phonograph anti-EQ A1 (RIAA)", 36, 2, 2, 2},
    {26, "CD", "CD De-emphasis", 37, 4, 8, 2},
    {27, "CNR", "Cassette Noise Reduction", 44, 17, 4096, 2},
    {28, "GR", "Groove", 48, 19, 8192, 2},
    {29, "PE", "Phonograph EQ E (500-Flat)", 26, 3, 4, 2},
    {30, "CS51", "Cinema Surround 5.1", 46, 12, 512, 6},
    {31, "CS40", "Cinema Surround 4.0", 47, 12, 512, 6},
    {32, "QWT", "QUERNWALD T-Sym", 49, 5, 32, 2},
    {33, "UNL", "Unlimiting", 53, 15, 2048, 2},
    {34, "HUM", "Hum Removal", 50, 18, 4096, 2},
    {35, "HUMB", "Hum Removal Bass Compensation", 51, 18, 4096, 2},
    {36, "PS", "Phonograph EQ S (Displacement)", 35, 3, 4, 2},
    {37, "HR", "Hi-Res", 52, 14, 2048, 2},
    {38, "PG", "Phonograph EQ G (European 78s)", 28, 3, 4, 2},
    {39, "PH", "Phonograph EQ H (American 78s)", 29, 3, 4, 2},
    {40, "PJ", "Phonograph EQ J (Columbia 78s)", 30, 3, 4, 2},
    {41, "PK", "Phonograph EQ K (Ceramic)", 31, 3, 4, 2},
    {42, "PP1", "Phonograph EQ P1 (Strain-Gauge/Light-Valve Cartridge)", 32, 1, 2, 2},
    {43, "PP2", "Phonograph EQ P2 (DisC Displacement Cartridge)", 33, 1, 2, 2},
    {44, "CD4", "JVC CD-4 Quadraphonic", 16, 11, 512, 6},
    {45, "CD4HQ", "High-Quality CD-4 Quadraphonic", 17, 11, 512, 6},
    {46, "MH", "Matrix H Quadraphonic", 15, 10, 512, 6},
    {47, "PP3", "Phonograph EQ P3 (Virtual MM RIAA preamp)", 34, 1, 2, 2},
    {48, "C22", "Cat 22 Noise Reduction", 45, 17, 4096, 2},
    {49, "TA", "Tape EQ A (15 ips CCIR > NAB)", 38, 21, 16384, 2},
    {50, "TB", "Tape EQ B (15 ips NAB > CCIR)", 39, 21, 16384, 2},
    {51, "TC", "Tape EQ C (7.5 ips CCIR > NAB)", 40, 21, 16384, 2},
    {52, "TD", "Tape EQ D (7.5 ips NAB > CCIR)", 41, 21, 16384, 2},
    {53, "KO", "Kestrel ONE", 43, 16, 4096, 2},
}};

// Group sets in lookup order: the first set containing the type names its group.
struct GroupSet {
    uint64_t set;
    int group;
};
constexpr GroupSet kGroupOrder[kGroupCount] = {
    {0x1, 0},
    {0x8C0000000800, 1},
    {0x2000000, 2},
    {0x3D02007F000, 3},
    {0x4000000, 4},
    {bit(49) | bit(50) | bit(51) | bit(52), 21},
    {0x100000000, 5},
    {0xE, 6},
    {0xC0, 8},
    {0x700, 9},
    {0x30, 7},
    {0x400000C00000, 10},
    {bit(44) | bit(45), 11},
    {0xC0000000, 12},
    {0x1000000, 13},
    {bit(37), 14},
    {0x200000000, 15},
    {0x20000000080000, 16},
    {0x1000008000000, 17},
    {0xC00000000, 18},
    {0x10000000, 19},
    {0x300000, 20},
};

// Enhancement 2 allowed after an Enhancement 1 in the set, in lookup order.
struct AllowedSet {
    uint64_t type1Set;
    uint64_t allowed;
};
constexpr uint64_t kAfterReplayEq = 0x4001C0C007CF;
constexpr uint64_t kAfterTapeEq = 0x3100007CF;
constexpr uint64_t kGrooveOrUnlimiting = 0x210000001;
constexpr AllowedSet kAllowedOrder[] = {
    {0x1, 0x1},
    {0x8C0000000800, kAfterReplayEq},
    {0x2000000, 0x1},
    {0x3D02007F000, kAfterReplayEq},
    {0x1E000004000000, kAfterTapeEq},
    {0x400100C007FE, kGrooveOrUnlimiting},
    {bit(44) | bit(45), 0x1},
    {0xC1000000, kGrooveOrUnlimiting},
    {bit(37), kAfterTapeEq},
    {0x200000000, 0x1100007CF},
    {0x21000C08080000, kAfterTapeEq},
    {0x10000000, 0x1},
    {0x300000, 0x10000001},
};

constexpr std::array<Mode, 15> kModes = {{
    {1, "None", 0x1},
    {2, "Microgroove Replay EQ", 0x8C0002000801},
    {4, "Historical Replay EQ", 0x3D02007F001},
    {8, "CD De-emphasis", 0x4000001},
    {16, "Crossfeed", 0xF},
    {32, "Time-Symmetric Crossfeed", 0x100000001},
    {64, "Headphones", 0xC1},
    {128, "Surround Upmix", 0x701},
    {256, "Stereo Width", 0x31},
    {512, "Quadraphonic & Cinema Decoding", 0x7000C0C00001},
    {1024, "Ambisonic UHJ Decoding", 0x1000001},
    {2048, "Digital Recovery", 0x2200000001},
    {4096, "Noise & Hum Filters", 0x21000C08080001},
    {8192, "Raumformer & Groove", 0x10300001},
    {16384, "Tape Replay EQ", 0x1E000000000001},
}};

constexpr std::array<uint32_t, 16> kModePopupOrder = {1,   0,   2,    4,    8,    16384, 16,   32,
                                                      64, 128, 256, 512, 1024, 2048, 4096, 8192};

constexpr std::array<OutputFormat, 14> kOutputFormats = {{
    {1, "unchanged", "Unchanged", nullptr, nullptr, 0, 0, 0, 0},
    {2, "wav", "WAV", "wav", "WAV audio", 2, 2, 0, 0},
    {4, "aiff", "AIFF", "aif", "AIFF audio", 1, 1, 0, 0},
    {8, "aifc", "AIFF-C", "aiff", "AIFF-C audio", 1, 2, 0, 0},
    {16, "flac", "FLAC", "flac", "FLAC audio", 2, 2, 0, 0},
    {32, "wav-lr", "WAV L+R", "wav", "WAV L+R", 2, 2, 2, 0},
    {64, "wav-clfe", "WAV C+LFE", "wav", "WAV C+LFE", 2, 2, 2, 2},
    {128, "wav-slsr", "WAV sL+sR", "wav", "WAV sL+sR", 2, 2, 2, 4},
    {256, "wav-l", "WAV L", "wav", "WAV L", 2, 2, 1, 0},
    {512, "wav-r", "WAV R", "wav", "WAV R", 2, 2, 1, 1},
    {1024, "wav-c", "WAV C", "wav", "WAV C", 2, 2, 1, 2},
    {2048, "wav-lfe", "WAV LFE", "wav", "WAV LFE", 2, 2, 1, 3},
    {4096, "wav-sl", "WAV sL", "wav", "WAV sL", 2, 2, 1, 4},
    {8192, "wav-sr", "WAV sR", "wav", "WAV sR", 2, 2, 1, 5},
}};

std::array<int, 54> makePrintOrder() {
    std::array<int, 54> order{};
    size_t n = 0;
    for (int p = 0; p < 54; ++p) {
        if (p == 49) continue;  // T-Sym prints right after Twin Quads
        order[n++] = p;
        if (p == 6) order[n++] = 49;
    }
    return order;
}

bool isSingleBit(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

int bitIndex(uint64_t v) { return __builtin_ctzll(v); }

}  // namespace

const std::array<Enhancement, 54>& enhancements() { return kEnhancements; }

const Enhancement* findEnhancement(uint64_t type) {
    if (!isSingleBit(type) || (type & ~kAllTypes)) return nullptr;
    return &kEnhancements[static_cast<size_t>(bitIndex(type))];
}

const Enhancement* findEnhancementByCode(std::string_view code) {
    for (const auto& e : kEnhancements) {
        if (code.size() == std::char_traits<char>::length(e.code) &&
            strncasecmp(code.data(), e.code, code.size()) == 0) {
            return &e;
        }
    }
    return nullptr;
}

const char* displayName(uint64_t type) {
    const Enhancement* e = findEnhancement(type);
    return e ? e->name : "";
}

std::string defaultSuffix(const Enhancement& e) {
    std::string s = "-";
    for (const char* c = e.code; *c; ++c) s += static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
    return s;
}

std::string suffixKey(const Enhancement& e) { return std::string("FileSuffix") + e.code; }

int groupOf(uint64_t type) {
    for (const auto& g : kGroupOrder) {
        if (g.set & type) return g.group;
    }
    QRM_FAIL("Unexpected paramter in %s", __func__);
    return 0;
}

uint64_t groupMembers(int group) {
    for (const auto& g : kGroupOrder) {
        if (g.group == group) return g.set;
    }
    return 0;
}

uint64_t allowedAfter(uint64_t type1) {
    for (const auto& a : kAllowedOrder) {
        if (a.type1Set & type1) return a.allowed;
    }
    QRM_FAIL("Unexpected paramter in %s", __func__);
    return 0x1;
}

const std::array<int, 54>& priorConversionPrintOrder() {
    static const std::array<int, 54> order = makePrintOrder();
    return order;
}

uint64_t typeForPriorPosition(int position) {
    for (const auto& e : kEnhancements) {
        if (e.priorPosition == position) return e.value();
    }
    return 0;
}

const char* nameForPriorPosition(int position) { return displayName(typeForPriorPosition(position)); }

const std::array<Mode, 15>& modes() { return kModes; }

const Mode* findMode(uint32_t value) {
    for (const auto& m : kModes) {
        if (m.value == value) return &m;
    }
    return nullptr;
}

const std::array<uint32_t, 16>& modePopupOrder() { return kModePopupOrder; }

uint64_t offeredByMode(uint32_t mode) {
    const Mode* m = findMode(mode);
    if (!m) {
        QRM_FAIL("Unexpected paramter in %s", __func__);
        return 0x1;
    }
    return m->offered;
}

const std::array<OutputFormat, 14>& outputFormats() { return kOutputFormats; }

const OutputFormat* findOutputFormat(int value) {
    for (const auto& f : kOutputFormats) {
        if (f.value == value) return &f;
    }
    return nullptr;
}

const OutputFormat* findOutputFormatByName(std::string_view cliName) {
    for (const auto& f : kOutputFormats) {
        if (cliName.size() == std::char_traits<char>::length(f.cliName) &&
            strncasecmp(cliName.data(), f.cliName, cliName.size()) == 0) {
            return &f;
        }
    }
    return nullptr;
}

const char* fileTypeText(int fileType) {
    const OutputFormat* f = findOutputFormat(fileType);
    return f && f->typeText ? f->typeText : "";
}

uint64_t availableTypes() {
    // None and Hi-Res copy the audio through; each enhancement family adds its types as
    // its operations land.
    return kTypeNO | kTypeHR;
}

}  // namespace quiramo::catalogue
