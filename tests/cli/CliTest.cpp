// The command line as a user runs it: real files in a temporary folder, a settings folder
// of the test's own, and the exit status, standard output and files on disk checked.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/Bytes.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir.file("config")); }

    CliRun run(const std::vector<std::string>& args) const {
        std::string cmd = "XDG_CONFIG_HOME=" + quote(dir.file("config")) + " " + quote(QUIRAMO_CLI_PATH);
        for (const auto& a : args) cmd += " " + quote(a);
        cmd += " >" + quote(dir.file("stdout")) + " 2>" + quote(dir.file("stderr")) + " </dev/null";
        CliRun r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir.file("stdout"));
        r.err = slurp(dir.file("stderr"));
        return r;
    }

    // A 16-bit stereo 44.1 kHz WAV with a quiet two-tone signal.
    std::string makeWav(const std::string& name, uint32_t frames = 4410) const {
        std::vector<uint8_t> samples;
        for (uint32_t i = 0; i < frames; ++i) {
            const double t = i / 44100.0;
            bytes::appendU16LE(samples, static_cast<uint16_t>(static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * 440 * t)))));
            bytes::appendU16LE(samples, static_cast<uint16_t>(static_cast<int16_t>(std::lround(-6000 * std::sin(2 * M_PI * 660 * t)))));
        }
        return WavBuilder().pcm(2, 44100, 16).data(samples).writeTo(dir, name);
    }

    TempDir dir;
};

TEST_F(CliTest, ConvertWritesSuffixedFileThenNumberedNameOnClash) {
    const std::string src = makeWav("song.wav");
    const std::string before = slurp(src);
    fs::create_directories(dir.file("out"));

    CliRun first = run({"convert", "-o", dir.file("out"), "--set", "HiResType=2", src});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, src + " -> " + dir.file("out/song-no.wav") + ": Complete.\n");
    CliRun second = run({"convert", "-o", dir.file("out"), "--set", "HiResType=2", src});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, src + " -> " + dir.file("out/song-no-1.wav") + ": Complete.\n");

    // With hi-res off and no enhancement, the samples come back exactly: same bytes after
    // the 44-byte header, followed by the 66-byte signature chunk.
    const std::string out = slurp(dir.file("out/song-no.wav"));
    ASSERT_EQ(out.size(), before.size() + 66);
    EXPECT_EQ(out.substr(44, before.size() - 44), before.substr(44));
    EXPECT_EQ(slurp(src), before) << "the source must never change";
    EXPECT_NE(first.err.find("1 converted, 0 failed"), std::string::npos) << first.err;
}

TEST_F(CliTest, ExitStatusSaysWhetherEveryFileConverted) {
    const std::string good = makeWav("good.wav");
    const std::string bad = WavBuilder().riffId("RIFX").pcm(2, 44100, 16).data(400).writeTo(dir, "bad.wav");
    const std::string other = dir.file("notes.mp3");
    std::ofstream(other) << "not audio";

    CliRun r = run({"analyse", good, bad, other});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(good + ": Ready to convert. \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(bad + ": Invalid file header. \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(other + ": Invalid file type. \n"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir.file("bad-no.wav")));

    EXPECT_EQ(run({"analyse", good}).status, 0);
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndSayWhatIsAllowed) {
    const std::string src = makeWav("song.wav");
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const std::vector<Case> cases = {
        {{"convert", "-1", "NO", "-2", "HR", src}, "allowed as enhancement 2: NO"},
        {{"convert", "-1", "XX", src}, "unknown enhancement code 'XX'"},
        {{"convert", "-f", "wav-c", src}, "needs a multichannel enhancement"},
        {{"convert", "-f", "mp3", src}, "unknown output format 'mp3'"},
        {{"convert", "--set", "DitherType", src}, "KEY=VALUE"},
        {{"convert", "--set", "ClipThreshold=-1", src}, "must be positive"},
        {{"convert"}, "needs at least one FILE"},
        {{"frobnicate"}, "unknown command"},
        {{"convert", "--bogus", src}, "unknown or incomplete option"},
        {{"convert", "-o", dir.file("missing"), src}, "does not exist"},
    };
    for (const auto& c : cases) {
        CliRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0] << " " << c.mentions;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(fs::directory_iterator(dir.path()) == fs::directory_iterator(), false);
    EXPECT_FALSE(fs::exists(dir.file("song-no.wav")));
}

TEST_F(CliTest, ReportPrintsTheMetricsSectionsOfEachFile) {
    const std::string src = makeWav("song.wav");
    CliRun r = run({"convert", "--report", "--set", "HiResType=2", src});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> got;
    while (std::getline(lines, line)) got.push_back(line);
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got[0], src + " -> " + dir.file("song-no.wav") + ": Complete.");
    EXPECT_EQ(got[1], "==== SOURCE AUDIO FILE 1 ====");
    EXPECT_EQ(got[2], "File Name = " + src);
    const auto converted = std::find(got.begin(), got.end(), "==== CONVERTED AUDIO FILE 1 ====");
    ASSERT_NE(converted, got.end());
    EXPECT_EQ(*(converted + 1), "File Name = " + dir.file("song-no.wav"));
    EXPECT_EQ(got.back(), "");
}

TEST_F(CliTest, SettingsAreStoredButRunOverridesAreNot) {
    CliRun show = run({"settings"});
    ASSERT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("HiResType = 1\n"), std::string::npos);
    EXPECT_NE(show.out.find("FileSuffixQWT = -qwt\n"), std::string::npos);

    EXPECT_EQ(run({"settings", "FileSuffixNO", "-plain"}).status, 0);
    EXPECT_EQ(run({"settings", "FileSuffixNO", "a/b"}).status, 2);
    EXPECT_EQ(run({"settings", "Mode", "3"}).status, 2);
    EXPECT_NE(run({"settings"}).out.find("FileSuffixNO = -plain\n"), std::string::npos);

    // The stored suffix names the file; --set changes this run only.
    const std::string src = makeWav("song.wav");
    CliRun r = run({"convert", "--set", "HiResType=2", "--set", "FileSuffixNO=-once", src});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.file("song-once.wav")));
    EXPECT_NE(run({"settings"}).out.find("FileSuffixNO = -plain\n"), std::string::npos);
}

TEST_F(CliTest, HiResSettingDecidesTheOutputWordLength) {
    const std::string src = makeWav("song.wav");
    fs::create_directories(dir.file("off"));
    ASSERT_EQ(run({"convert", "-o", dir.file("off"), "--set", "HiResType=2", src}).status, 0);
    const std::string off = slurp(dir.file("off/song-no.wav"));
    EXPECT_EQ(bytes::readU16LE(reinterpret_cast<const uint8_t*>(off.data()) + 34), 16);
}

// What sox says of a file: its rate, channels, bits and sample count per channel.
std::string soxInfo(const TempDir& dir, const std::string& file) {
    const std::string cmd = "sox --i " + quote(file) + " >" + quote(dir.file("soxi")) + " 2>&1";
    if (std::system(cmd.c_str()) != 0) return "sox failed: " + slurp(dir.file("soxi"));
    return slurp(dir.file("soxi"));
}

TEST_F(CliTest, RatesSurviveTheRoundTripAndHiResDoublesBaseRates) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    // A 192 kHz 24-bit source is processed at half rate and comes back at 192 kHz.
    std::vector<uint8_t> samples;
    for (uint32_t i = 0; i < 19200; ++i) {
        const auto v = static_cast<uint32_t>(std::lround(2000000 * std::sin(2 * M_PI * 1000 * i / 192000.0)));
        bytes::appendU24LE(samples, v);
        bytes::appendU24LE(samples, v);
    }
    const std::string high = WavBuilder().pcm(2, 192000, 24).data(samples).writeTo(dir, "high.wav");
    ASSERT_EQ(run({"convert", high}).status, 0);
    const std::string highInfo = soxInfo(dir, dir.file("high-no.wav"));
    EXPECT_NE(highInfo.find("Sample Rate    : 192000"), std::string::npos) << highInfo;
    EXPECT_NE(highInfo.find("Precision      : 24-bit"), std::string::npos) << highInfo;
    EXPECT_NE(highInfo.find("19200 samples"), std::string::npos) << highInfo;

    // Hi-res on (the stored default): 44.1 kHz 16-bit becomes 88.2 kHz 24-bit, twice the frames.
    const std::string base = makeWav("base.wav", 4410);
    ASSERT_EQ(run({"convert", base}).status, 0);
    const std::string baseInfo = soxInfo(dir, dir.file("base-no.wav"));
    EXPECT_NE(baseInfo.find("Sample Rate    : 88200"), std::string::npos) << baseInfo;
    EXPECT_NE(baseInfo.find("Precision      : 24-bit"), std::string::npos) << baseInfo;
    EXPECT_NE(baseInfo.find("8820 samples"), std::string::npos) << baseInfo;
}

TEST_F(CliTest, SoxReadsWhatWeWrite) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
    const std::string src = makeWav("song.wav", 44100);
    ASSERT_EQ(run({"convert", "--set", "HiResType=2", src}).status, 0);
    const std::string cmd = "sox --i " + quote(dir.file("song-no.wav")) + " >" + quote(dir.file("soxi")) + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << slurp(dir.file("soxi"));
    const std::string info = slurp(dir.file("soxi"));
    EXPECT_NE(info.find("Channels       : 2"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
    EXPECT_NE(info.find("Precision      : 16-bit"), std::string::npos) << info;
    EXPECT_NE(info.find("44100 samples"), std::string::npos) << info;
}

}  // namespace
}  // namespace quiramo::test
