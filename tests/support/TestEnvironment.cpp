#include "tests/support/TestEnvironment.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quiramo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string writeFile(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.file(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
    return path;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Every suite runs with assertions that throw (so a test can expect them) and a quiet log.
class QuiramoTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        platform::setAssertionHandler(&platform::throwingAssertionHandler);
        platform::setLogSink(platform::makeNullSink());
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QuiramoTestEnvironment);

}  // namespace
}  // namespace quiramo::test
