#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo::platform {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> folderContents(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writePlain(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

const std::vector<uint8_t> kData = {'R', 'I', 'F', 'F', 0, 1, 2, 255};

TEST(AtomicFile, TheTargetAppearsOnlyAtCommit) {
    test::TempDir dir;
    const std::string target = dir.file("out.wav");
    AtomicFile file;
    std::string error;
    ASSERT_TRUE(file.open(target, error)) << error;
    ASSERT_TRUE(file.write(kData.data(), 4, error)) << error;
    ASSERT_TRUE(file.write(kData.data() + 4, kData.size() - 4, error)) << error;
    EXPECT_FALSE(fs::exists(target));
    // The data sits in one hidden temporary file beside the target.
    const auto during = folderContents(dir.path());
    ASSERT_EQ(during.size(), 1u);
    EXPECT_TRUE(during[0].starts_with(".out.wav.")) << during[0];
    EXPECT_EQ(fs::path(file.temporaryPath()).parent_path(), fs::path(dir.path()));

    ASSERT_TRUE(file.commit(error)) << error;
    EXPECT_EQ(folderContents(dir.path()), std::vector<std::string>{"out.wav"});
    EXPECT_EQ(readFile(target), std::string(kData.begin(), kData.end()));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IRUSR, 0u);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
}

// A converted file gets the permissions any new file of the user's would: 0666 less the
// umask, not the owner-only mode of a temporary file.
TEST(AtomicFile, TheTargetTakesItsPermissionsFromTheUmask) {
    test::TempDir dir;
    const mode_t saved = ::umask(0);
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{002}}) {
        SCOPED_TRACE(mask);
        ::umask(mask);
        const std::string target = dir.file("mode-" + std::to_string(mask) + ".wav");
        AtomicFile file;
        std::string error;
        ASSERT_TRUE(file.open(target, error)) << error;
        ASSERT_TRUE(file.commit(error)) << error;
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    }
    ::umask(saved);
}

TEST(AtomicFile, AnExistingFileIsNeverReplaced) {
    test::TempDir dir;
    const std::string target = dir.file("song-qw.wav");
    const std::string original = std::string("original bytes\0\x01\x02", 17);
    writePlain(target, original);
    std::string error;
    EXPECT_FALSE(writeFileAtomically(target, kData.data(), kData.size(), error));
    EXPECT_NE(error.find("song-qw.wav"), std::string::npos) << error;
    EXPECT_NE(error.find("exists"), std::string::npos) << error;
    EXPECT_EQ(readFile(target), original);
    EXPECT_EQ(folderContents(dir.path()), std::vector<std::string>{"song-qw.wav"});

    // The same through an explicit commit; a second commit has nothing left to save.
    AtomicFile file;
    ASSERT_TRUE(file.open(target, error));
    ASSERT_TRUE(file.write(kData.data(), kData.size(), error));
    error.clear();
    EXPECT_FALSE(file.commit(error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(file.commit(error));
    EXPECT_EQ(readFile(target), original);
    EXPECT_EQ(folderContents(dir.path()), std::vector<std::string>{"song-qw.wav"});
}

TEST(AtomicFile, AFolderThatCannotBeWrittenFailsAndLeavesNothing) {
    test::TempDir dir;
    writePlain(dir.file("plain"), "x");
    std::vector<std::string> targets = {
        dir.file("missing/out.wav"),  // no such folder
        dir.file("plain/out.wav"),    // a file where the folder should be
    };
    const std::string locked = dir.file("locked");
    fs::create_directory(locked);
    ::chmod(locked.c_str(), 0555);
    if (::access(locked.c_str(), W_OK) != 0) targets.push_back(locked + "/out.wav");  // root writes anyway
    for (const auto& target : targets) {
        SCOPED_TRACE(target);
        std::string error;
        EXPECT_FALSE(writeFileAtomically(target, kData.data(), kData.size(), error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(fs::exists(target));
    }
    EXPECT_TRUE(folderContents(locked).empty());
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(folderContents(dir.path()), (std::vector<std::string>{"locked", "plain"}));
}

TEST(AtomicFile, TheTemporaryFileGoesOnDiscardAndDestruction) {
    test::TempDir dir;
    std::string error;
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(dir.file("a.flac"), error));
        ASSERT_TRUE(file.write(kData.data(), kData.size(), error));
        EXPECT_TRUE(fs::exists(file.temporaryPath()));
        file.discard();
        EXPECT_TRUE(file.temporaryPath().empty());
        EXPECT_TRUE(folderContents(dir.path()).empty());
        std::string commitError;
        EXPECT_FALSE(file.commit(commitError));  // nothing left to save after a discard
        EXPECT_FALSE(commitError.empty());
    }
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(dir.file("b.flac"), error));
        ASSERT_TRUE(file.write(kData.data(), kData.size(), error));
        // Opening again starts over: the first temporary file goes.
        const std::string first = file.temporaryPath();
        ASSERT_TRUE(file.open(dir.file("c.flac"), error));
        EXPECT_FALSE(fs::exists(first));
        EXPECT_EQ(folderContents(dir.path()).size(), 1u);
    }  // destroyed without commit
    EXPECT_TRUE(folderContents(dir.path()).empty());
}

TEST(AtomicFile, ANameNearTheLengthLimitStillGetsItsTemporaryFile) {
    test::TempDir dir;
    const std::string name = std::string(251, 'n') + ".wav";  // 255 bytes, the most a name may have
    std::string error;
    ASSERT_TRUE(writeFileAtomically(dir.file(name), kData.data(), kData.size(), error)) << error;
    EXPECT_EQ(folderContents(dir.path()), std::vector<std::string>{name});
    EXPECT_EQ(readFile(dir.file(name)), std::string(kData.begin(), kData.end()));
}

TEST(AtomicFile, EmptyDataMakesAnEmptyFile) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeFileAtomically(dir.file("empty"), nullptr, 0, error)) << error;
    EXPECT_EQ(fs::file_size(dir.file("empty")), 0u);
}

}  // namespace
}  // namespace quiramo::platform
