#pragma once
// Test helpers shared by every suite.

#include <cstdint>
#include <string>
#include <vector>

namespace quiramo::test {

// A fresh folder under the system's temporary directory, removed with everything in it
// when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes bytes to dir/name and returns the path.
std::string writeFile(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes);

// The whole file; empty when it cannot be read.
std::vector<uint8_t> readFile(const std::string& path);

// The names in a folder, sorted; temporary files included.
std::vector<std::string> folderEntries(const std::string& path);

}  // namespace quiramo::test
