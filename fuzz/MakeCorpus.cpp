// Writes the seed corpus of the reader fuzzers: small valid files of every kind the
// program reads, made the way users get them (our own conversions, with their signature
// and metadata chunks) and shaped by the test builders (extensible fmt, AIFF-C with FVER,
// AESD, odd and unknown chunks), each followed by a few broken variants of itself.
// libFuzzer starts from these instead of from nothing.
//
//   quiramo_fuzz_corpus <folder>   writes <folder>/wav, <folder>/aiff and <folder>/flac

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ProcessingDriver.h"
#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Settings.h"
#include "formats/Bytes.h"
#include "formats/WavWriter.h"
#include "platform/Log.h"
#include "tests/support/AiffBuilder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WavBuilder.h"

namespace quiramo {
namespace {

using Bytes = std::vector<uint8_t>;
using test::AiffBuilder;
using test::WavBuilder;

constexpr uint32_t kFrames = 256;  // small seeds mutate fast

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Interleaved samples of a quiet sine, packed little-endian at the given width.
Bytes samples(uint32_t frames, uint16_t channels, uint16_t bits, bool bigEndian = false) {
    const unsigned width = (bits + 7u) / 8u;
    Bytes b;
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint16_t c = 0; c < channels; ++c) {
            const double x = std::sin(0.07 * i + c) * 0.3;
            auto v = static_cast<uint32_t>(static_cast<int32_t>(std::lround(x * std::ldexp(1.0, bits - 1))));
            if (bits == 8) v += 0x80;  // 8-bit WAV samples are unsigned
            for (unsigned k = 0; k < width; ++k) {
                const unsigned shift = bigEndian ? 8 * (width - 1 - k) : 8 * k;
                b.push_back(static_cast<uint8_t>(v >> shift));
            }
        }
    }
    return b;
}

// A WAV image straight from our writer.
Bytes writerWav(uint16_t channels, uint16_t bits, uint32_t rate) {
    AudioFile job("seed.wav", false, false);
    job.dstChannelsData = channels;
    job.dstSampleBits = bits;
    job.dstSampleBytes = (bits + 7u) / 8u;
    job.dstFrames = kFrames;
    job.dstFrameRate = rate;
    const Bytes pcm = samples(kFrames, channels, bits);
    Bytes image;
    if (!job.dstAudioData.allocate(pcm.size())) return image;
    std::copy(pcm.begin(), pcm.end(), job.dstAudioData.data());
    CreateDestBufferWAV(job, image);
    return image;
}

// The source converted by a real processing pass into the given output format.
// With metadata set the output carries bext (and, as FLAC, the Vorbis comments and the
// picture a FLAC source would have brought).
Bytes converted(const std::string& source, const test::TempDir& dir, int outputFormat, bool hiRes,
                bool metadata, const std::string& suffix) {
    AudioFile job(source, false, false);
    if (metadata) {
        job.srcVorbisComments = {"TITLE=Seed", "ARTIST=Quiramo"};
        FlacPicture picture;
        picture.type = 3;  // front cover
        picture.mimeType = "image/png";
        picture.description = "cover";
        picture.width = picture.height = 1;
        picture.depth = 24;
        picture.data = Bytes(16, 0x89);
        job.srcPictureChunkDict.push_back(picture);
    }
    settings::SettingsMirror mirror;
    mirror.hiResType = hiRes ? 1 : 2;
    mirror.calculateDstR128 = metadata;
    mirror.dstBwfMetadata = metadata;
    settings::Selection selection;
    selection.outputFormatType = outputFormat;
    selection.destinationOption = 2;
    selection.destinationText = dir.path();
    selection.suffix_1 = suffix;
    std::mutex lock;
    ProcessFileThread(job, settings::makeSnapshot(lock, mirror, selection));
    if (job.error != 0) {
        std::fprintf(stderr, "conversion %s failed: %s\n", suffix.c_str(), job.text(Column::state).c_str());
        return {};
    }
    return readFile(job.text(Column::destinationName));
}

struct Seeds {
    std::string folder;
    int count = 0;
    bool ok = true;

    void add(const std::string& name, const Bytes& bytes) {
        if (bytes.empty()) {
            ok = false;
            return;
        }
        ok = writeFile(folder + "/" + name, bytes) && ok;
        ++count;
    }
    // The file and a few ways of breaking it that the readers must survive: cut inside
    // the header, inside the first chunk, in the middle, one byte short.
    void addWithBreakage(const std::string& name, const Bytes& bytes) {
        add(name, bytes);
        for (size_t cut : {size_t{11}, size_t{30}, bytes.size() / 2, bytes.size() - 1}) {
            if (cut == 0 || cut >= bytes.size()) continue;
            add(name + ".cut" + std::to_string(cut),
                Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
        }
    }
};

int run(const std::string& out) {
    platform::setLogSink(platform::makeNullSink());
    Seeds wav{out + "/wav"}, aiff{out + "/aiff"}, flac{out + "/flac"};
    for (const std::string& folder : {out, wav.folder, aiff.folder, flac.folder})
        ::mkdir(folder.c_str(), 0755);

    const test::TempDir work;
    const std::string source = work.file("source.wav");
    const Bytes sourceImage = writerWav(2, 16, 44100);
    if (!writeFile(source, sourceImage)) return 1;

    // Conversions: the files users feed back in, signature chunk and metadata included.
    wav.addWithBreakage("source.wav", sourceImage);
    wav.addWithBreakage("conv-wav16.wav", converted(source, work, catalogue::kFileWAV, false, false, "-w16"));
    wav.addWithBreakage("conv-wav24-bwf.wav",
                        converted(source, work, catalogue::kFileWAV, true, true, "-w24"));
    aiff.addWithBreakage("conv.aif", converted(source, work, catalogue::kFileAIFF, false, false, "-a"));
    aiff.addWithBreakage("conv-sowt.aiff", converted(source, work, catalogue::kFileAIFC, false, false, "-c"));
    aiff.addWithBreakage("conv-none24.aiff",
                         converted(source, work, catalogue::kFileAIFC, true, false, "-c24"));
    flac.addWithBreakage("conv16.flac", converted(source, work, catalogue::kFileFLAC, false, true, "-f16"));
    flac.addWithBreakage("conv24.flac", converted(source, work, catalogue::kFileFLAC, true, true, "-f24"));

    // Shapes our writers never produce.
    wav.add("mono8.wav", writerWav(1, 8, 22050));
    wav.add("six-channel.wav", writerWav(6, 16, 48000));
    wav.add("extensible24.wav",
            WavBuilder().fmt(WavBuilder::fmtBody40(2, 96000, 24, 24, 3)).data(samples(64, 2, 24)).bytes());
    wav.add("extensible-float.wav",
            WavBuilder().fmt(WavBuilder::fmtBody40(2, 48000, 32, 32, 3, 3)).data(Bytes(512, 0)).bytes());
    wav.add("fmt18-data-first-odd-chunks.wav", WavBuilder()
                                                   .data(samples(32, 2, 16))
                                                   .chunk("LIST", Bytes(5, 'x'))
                                                   .fmt(WavBuilder::fmtBody18(2, 44100, 16))
                                                   .chunk("bext", Bytes(602, 0))
                                                   .chunk("iXML", Bytes(7, '<'))
                                                   .chunk("ID3 ", Bytes(11, 'I'))
                                                   .bytes());
    wav.add("duplicate-fmt.wav",
            WavBuilder().pcm(2, 44100, 16).pcm(2, 44100, 16).data(samples(16, 2, 16)).bytes());

    const auto rate = AiffBuilder::rate44100();
    aiff.add("aifc-aesd-id3.aiff",
             AiffBuilder("AIFC")
                 .fver()
                 .comm(AiffBuilder::commBodyC(2, 32, 16, rate, "sowt", "not compressed"))
                 .chunk("AESD",
                        [] {
                            Bytes b(24, 0);
                            b[0] = 0x19;  // professional, 50/15 us emphasis
                            return b;
                        }())
                 .chunk("ID3 ", Bytes(9, 'I'))
                 .ssnd(samples(32, 2, 16), 4)
                 .chunk("APPL", Bytes(3, 'z'))
                 .bytes());
    aiff.add("aiff-mono8.aif", AiffBuilder("AIFF")
                                   .comm(AiffBuilder::commBody(1, 64, 8, rate))
                                   .ssnd(samples(64, 1, 8, true))
                                   .bytes());
    aiff.add("aifc-ulaw.aiff", AiffBuilder("AIFC")
                                   .fver()
                                   .comm(AiffBuilder::commBodyC(2, 16, 16, rate, "ulaw", "uLaw 2:1"))
                                   .ssnd(Bytes(64, 0x7F))
                                   .bytes());

    std::printf("seeds: %d wav, %d aiff, %d flac in %s\n", wav.count, aiff.count, flac.count, out.c_str());
    return wav.ok && aiff.ok && flac.ok ? 0 : 1;
}

}  // namespace
}  // namespace quiramo

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    return quiramo::run(argv[1]);
}
