#pragma once
// What the reader and writer suites of the WAV and AIFF formats share: reading an image
// through a reader with its log, the finished conversion a writer is handed, and the
// fixture of a writer suite.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/ReadOnlyFile.h"
#include "platform/Host.h"
#include "platform/Log.h"

namespace quiramo::test {

// A reader's job and the lines it logged.
struct ImageRead {
    std::unique_ptr<AudioFile> job;
    std::vector<std::string> log;
    bool has(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
};

// Reads an image from memory through the same reader the files go through, as if it were
// the file at path.
inline ImageRead readImage(void (*analyse)(AudioFile&, ReadOnlyFile&, bool), const std::string& path,
                           const std::vector<uint8_t>& image, bool headerOnly) {
    ImageRead r{std::make_unique<AudioFile>(path, false, false), {}};
    platform::ScopedMemoryLog log;
    ReadOnlyFile file;
    file.openMemory(image.data(), image.size());
    analyse(*r.job, file, headerOnly);
    r.log = log.lines();
    return r;
}

// A finished conversion at path as the driver hands it to a writer, its first enhancement
// and the format's own fields left to the caller: packed samples whose byte values count
// up, so every byte's place is visible.
inline std::unique_ptr<AudioFile> countingJob(const std::string& path, uint32_t frames, uint32_t channels,
                                              uint32_t sampleBytes, double rate) {
    auto j = std::make_unique<AudioFile>(path, false, false);
    j->dstFrames = j->srcFrames = frames;
    j->dstFrameRate = j->srcFrameRate = rate;
    j->dstChannels_2 = j->dstChannelsData = channels;
    j->dstSampleBytes = sampleBytes;
    j->dstSampleBits = sampleBytes * 8;
    j->filterType_2 = catalogue::kTypeNO;
    const size_t n = size_t{frames} * channels * sampleBytes;
    EXPECT_TRUE(allocateBuffer(*j, j->dstAudioData, n));
    for (size_t i = 0; i < n; ++i) j->dstAudioData[i] = static_cast<uint8_t>(i + 1);
    return j;
}

// A writer suite's fixture: a headless host for the refreshes a writer posts, and the image
// createImage makes of a job.
template <void (*createImage)(AudioFile&, std::vector<uint8_t>&)>
class WriterTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::setHost(&host_); }
    void TearDown() override { platform::setHost(nullptr); }

    static std::vector<uint8_t> write(AudioFile& j) {
        std::vector<uint8_t> out;
        createImage(j, out);
        return out;
    }

    platform::HeadlessHost host_;
};

}  // namespace quiramo::test
