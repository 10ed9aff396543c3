#pragma once
// The enhancement catalogue: modes, the 54 enhancement types, the 14 output formats, the
// groups that drive the selection rules, and the order in which prior conversions print.
// Every value is a single bit, so allowed sets are masks.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quiramo::catalogue {

constexpr uint64_t bit(int k) { return uint64_t{1} << k; }

// Enhancement type values, named by their codes.
inline constexpr uint64_t kTypeNO = bit(0), kTypeQW = bit(1), kTypeZS1 = bit(2), kTypeBQ = bit(3),
                          kTypeLD = bit(4), kTypeTQ = bit(5), kTypeIR = bit(6), kTypeCN20 = bit(7),
                          kTypeCN51 = bit(8), kTypeCN50 = bit(9), kTypeCN40 = bit(10), kTypePA1 = bit(11),
                          kTypePA2 = bit(12), kTypePA3 = bit(13), kTypePB1 = bit(14), kTypePB2 = bit(15),
                          kTypePC = bit(16), kTypePD = bit(17), kTypePF = bit(18), kTypeRF = bit(19),
                          kTypeRL = bit(20), kTypeRH = bit(21), kTypeQS = bit(22), kTypeSQ = bit(23),
                          kTypeUHJ = bit(24), kTypePZ1 = bit(25), kTypeCD = bit(26), kTypeCNR = bit(27),
                          kTypeGR = bit(28), kTypePE = bit(29), kTypeCS51 = bit(30), kTypeCS40 = bit(31),
                          kTypeQWT = bit(32), kTypeUNL = bit(33), kTypeHUM = bit(34), kTypeHUMB = bit(35),
                          kTypePS = bit(36), kTypeHR = bit(37), kTypePG = bit(38), kTypePH = bit(39),
                          kTypePJ = bit(40), kTypePK = bit(41), kTypePP1 = bit(42), kTypePP2 = bit(43),
                          kTypeCD4 = bit(44), kTypeCD4HQ = bit(45), kTypeMH = bit(46), kTypePP3 = bit(47),
                          kTypeC22 = bit(48), kTypeTA = bit(49), kTypeTB = bit(50), kTypeTC = bit(51),
                          kTypeTD = bit(52), kTypeKO = bit(53);

inline constexpr uint64_t kAllTypes = 0x3FFFFFFFFFFFFF;
inline constexpr uint64_t kMultichannelTypes = 0x7000C1C00700;
inline constexpr uint64_t kCd4Types = 0x300000000000;
inline constexpr uint64_t kPhonographReplayEqTypes = 0x8FD02007F800;

struct Enhancement {
    int k;                 // value is 2^k
    const char* code;      // "QW"
    const char* name;      // display name
    int priorPosition;     // bit in warning_1 / warning_2 of a converted file read back
    int group;             // group as Enhancement 1
    uint32_t mode;         // mode offering it as Enhancement 1 (0: every mode, None only)
    unsigned channels;     // channels of the buffer it produces
    uint64_t value() const { return bit(k); }
};

// All 54 types, in value order.
const std::array<Enhancement, 54>& enhancements();
// The catalogue entry of a single-bit type value, or nullptr.
const Enhancement* findEnhancement(uint64_t type);
// Case-insensitive lookup by code ("qw" finds QUERNWALD), or nullptr.
const Enhancement* findEnhancementByCode(std::string_view code);
// Display name of a type value ("" for a value outside the catalogue).
const char* displayName(uint64_t type);
// "-" + the code in lower case, e.g. "-qw".
std::string defaultSuffix(const Enhancement& e);
// "FileSuffix" + the code, e.g. "FileSuffixQW".
std::string suffixKey(const Enhancement& e);

// The group of an Enhancement 1 type: the first group in the fixed test order whose set
// contains the type. A type in no group asserts "Unexpected paramter in %s" and gives 0.
int groupOf(uint64_t type);
// The members of a group (0 to 21).
uint64_t groupMembers(int group);
inline constexpr int kGroupCount = 22;

// Enhancement 2 types allowed after an Enhancement 1 type (None always included).
// A type outside the table asserts "Unexpected paramter in %s" and gives {None}.
uint64_t allowedAfter(uint64_t type1);

// Prior-conversion positions 0 to 53 in print order (T-Sym right after Twin Quads).
const std::array<int, 54>& priorConversionPrintOrder();
// The display name of the type with that prior-conversion position ("" if none).
const char* nameForPriorPosition(int position);
// The type value with that prior-conversion position (0 if none).
uint64_t typeForPriorPosition(int position);

struct Mode {
    uint32_t value;
    const char* title;
    uint64_t offered;  // Enhancement 1 types offered, None included
};
// The 15 modes in value order.
const std::array<Mode, 15>& modes();
const Mode* findMode(uint32_t value);
// The mode popup rows: mode 1, a separator (value 0), then the offered modes in their order.
const std::array<uint32_t, 16>& modePopupOrder();
// The offered set of a mode; a value outside the table asserts and gives {None}.
uint64_t offeredByMode(uint32_t mode);

struct OutputFormat {
    int value;
    const char* cliName;    // "unchanged", "wav", "wav-lr", ...
    const char* title;      // popup title
    const char* extension;  // nullptr: the source's own
    const char* typeText;   // nullptr: the source's own
    int headerOrder;        // 1 big, 2 little, 0 the source's
    int dataOrder;          // 1 big, 2 little, 0 the source's
    unsigned channelsWritten;  // 0: all
    unsigned firstChannel;
};
inline constexpr int kAllOutputFormats = 0x3FFF;
inline constexpr int kSplitOutputFormats = 0x3FE0;
// The 14 output formats in value order.
const std::array<OutputFormat, 14>& outputFormats();
const OutputFormat* findOutputFormat(int value);
const OutputFormat* findOutputFormatByName(std::string_view cliName);

// Source and output file types.
inline constexpr int kFileWAV = 2, kFileAIFF = 4, kFileAIFC = 8, kFileFLAC = 16;
// The type text of an output or source file type ("WAV audio", "WAV L+R", ...).
const char* fileTypeText(int fileType);

// Enhancement types whose operations exist in this build. The front ends offer only these;
// each new family adds its bits here.
uint64_t availableTypes();

}  // namespace quiramo::catalogue
