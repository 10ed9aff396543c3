#pragma once
// Which texts a settings key accepts. The desktop application and the command line both
// check a new value here before storing it.

#include <string>

namespace quiramo::settings {

// True when value is acceptable for key; otherwise why says what is allowed.
bool validateSetting(const std::string& key, const std::string& value, std::string& why);

}  // namespace quiramo::settings
