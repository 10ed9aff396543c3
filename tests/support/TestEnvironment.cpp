#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

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
