#include "engine/record/SettingsRules.h"

#include <cerrno>
#include <cstdlib>

#include "engine/record/Catalogue.h"
#include "engine/record/Settings.h"

namespace quiramo::settings {
namespace {

bool parseUnsigned(const std::string& text, uint64_t& out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtoull(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool parseReal(const std::string& text, double& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && out == out;  // out == out refuses NaN
}

bool isSingleBitIn(uint64_t v, uint64_t mask) { return v != 0 && (v & (v - 1)) == 0 && (v & mask) == v; }

}  // namespace

bool validateSetting(const std::string& key, const std::string& value, std::string& why) {
    const KeyInfo* info = findKey(key);
    if (!info) {
        why = "unknown settings key '" + key + "'";
        return false;
    }
    uint64_t u = 0;
    double r = 0.0;
    if (key == "Mode") {
        if (parseUnsigned(value, u) && isSingleBitIn(u, 0x7FFE)) return true;
        why = "Mode must be one of 2, 4, 8, ... 16384";
        return false;
    }
    if (key == "FilterType_1" || key == "FilterType_2") {
        if (parseUnsigned(value, u) && catalogue::findEnhancement(u)) return true;
        why = key + " must be an enhancement type value (a power of two up to 2^53)";
        return false;
    }
    if (key == "OutputFormatType") {
        if (parseUnsigned(value, u) && isSingleBitIn(u, catalogue::kAllOutputFormats)) return true;
        why = "OutputFormatType must be one of 1, 2, 4, ... 8192";
        return false;
    }
    if (key == "DestinationFolderOption") {
        if (parseUnsigned(value, u) && (u == 1 || u == 2)) return true;
        why = "DestinationFolderOption must be 1 (beside the source) or 2 (the destination folder)";
        return false;
    }
    if (key == "ClipThreshold") {
        if (!parseReal(value, r)) {
            why = "ClipThreshold must be a number of dB";
            return false;
        }
        if (r < 0) {
            why = "ClipThreshold must be positive";
            return false;
        }
        return true;
    }
    if (key.rfind("FileSuffix", 0) == 0) {
        if (value.find('/') == std::string::npos) return true;
        why = "a file suffix cannot contain '/'";
        return false;
    }
    switch (info->encoding) {
        case Encoding::boolean:
            if (value == "YES" || value == "NO") return true;
            why = key + " must be YES or NO";
            return false;
        case Encoding::unsigned32:
        case Encoding::unsigned64:
            if (parseUnsigned(value, u)) return true;
            why = key + " must be a whole number";
            return false;
        case Encoding::real:
            if (parseReal(value, r)) return true;
            why = key + " must be a number";
            return false;
        case Encoding::list:
            why = key + " is a list the application maintains itself";
            return false;
        case Encoding::text:
            return true;
    }
    return true;
}

}  // namespace quiramo::settings
