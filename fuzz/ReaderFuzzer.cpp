// A libFuzzer target for one reader and one pass. The input is a whole source file, read
// from memory through the ReadOnlyFile every reader uses on disk, so what is fuzzed is
// the code a user's file goes through. CMake builds this file once per reader and pass:
// QUIRAMO_FUZZ_READER names the reader (AnalyseWAV, AnalyseAIFC, AnalyseFLAC),
// QUIRAMO_FUZZ_HEADER_ONLY is 1 for the analysis pass and 0 for the processing pass.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/record/AudioFile.h"
#include "formats/AiffReader.h"
#include "formats/FlacReader.h"
#include "formats/ReadOnlyFile.h"
#include "formats/WavReader.h"
#include "platform/Host.h"
#include "platform/Log.h"

#if !defined(QUIRAMO_FUZZ_READER) || !defined(QUIRAMO_FUZZ_HEADER_ONLY) || !defined(QUIRAMO_FUZZ_NAME)
#error "QUIRAMO_FUZZ_READER, QUIRAMO_FUZZ_HEADER_ONLY and QUIRAMO_FUZZ_NAME must be defined"
#endif

namespace {

constexpr bool kHeaderOnly = QUIRAMO_FUZZ_HEADER_ONLY != 0;

// A broken promise of the reader's contract is as much a finding as a crash.
[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "reader contract broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Millions of inputs would otherwise fill the system log. Assertions keep their default
    // handler, which aborts: an assertion a file can reach is a finding.
    quiramo::platform::setLogSink(quiramo::platform::makeNullSink());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A host of its own per input: the built-in one keeps every dialog text it answered.
    quiramo::platform::HeadlessHost host;
    quiramo::platform::setHost(&host);
    // The name only decides the type the record starts with; the bytes decide the rest.
    quiramo::AudioFile job(QUIRAMO_FUZZ_NAME, false, false);
    quiramo::ReadOnlyFile file;
    file.openMemory(data, size);
    quiramo::QUIRAMO_FUZZ_READER(job, file, kHeaderOnly);

    if (kHeaderOnly) {
        if (!job.srcAudioData.empty()) broken("an analysis read samples");
    } else if (job.error == 0) {
        // What a processing pass hands on must be exactly the frames it announces.
        const uint64_t expected = uint64_t{job.srcFrames} * job.srcChannels * job.srcSampleBytes;
        if (job.srcAudioData.size() != expected) broken("sample bytes differ from frames x channels x bytes");
    }
    quiramo::platform::setHost(nullptr);
    return 0;
}
