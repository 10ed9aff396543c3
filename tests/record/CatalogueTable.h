#pragma once
// The per-type table of the enhancement catalogue, written out a second time for the tests
// so that every mask, group set and offered set of the code can be checked against it.

#include <cstdint>
#include <string>

namespace quiramo::test {

struct TypeRow {
    int k;
    const char* code;
    const char* name;
    int p;          // prior-conversion position
    int g;          // group as Enhancement 1
    uint32_t mode;  // 0: offered by every mode (None)
    unsigned ch;
};

inline constexpr TypeRow kTypeTable[54] = {
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
};

// The type value of a code of the table above (0 for an unknown code).
inline uint64_t typeOfCode(const std::string& code) {
    for (const auto& row : kTypeTable) {
        if (code == row.code) return uint64_t{1} << row.k;
    }
    return 0;
}

// The mask of a blank-separated list of codes, e.g. "NO QW ZS1".
inline uint64_t maskOfCodes(const std::string& codes) {
    uint64_t mask = 0;
    size_t start = 0;
    while (start < codes.size()) {
        size_t end = codes.find(' ', start);
        if (end == std::string::npos) end = codes.size();
        if (end > start) {
            const uint64_t t = typeOfCode(codes.substr(start, end - start));
            if (t == 0) return 0;  // a typo in a test list fails the comparison loudly
            mask |= t;
        }
        start = end + 1;
    }
    return mask;
}

}  // namespace quiramo::test
