#include "engine/FileTypes.h"

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "formats/AiffReader.h"
#include "formats/AiffWriter.h"
#include "formats/FlacReader.h"
#include "formats/FlacWriter.h"
#include "formats/WavReader.h"
#include "formats/WavWriter.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

void unsupported(AudioFile& job) {
    platform::log("<ERROR> Analysis of this file extension is NOT supported");
    job.error |= kErrorFileType;
}

}  // namespace

void ReadSourceFile(AudioFile& job, bool headerOnly) {
    switch (job.srcFileType) {
        case catalogue::kFileWAV:
            AnalyseWAV(job, headerOnly);
            break;
        case catalogue::kFileAIFF:
        case catalogue::kFileAIFC:
            AnalyseAIFC(job, headerOnly);
            break;
        case catalogue::kFileFLAC:
            AnalyseFLAC(job, headerOnly);
            break;
        default:
            unsupported(job);
            break;
    }
}

void WriteDestination(AudioFile& job, std::vector<uint8_t>& image, const std::string& path) {
    const int type = job.dstFileType;
    if (type == catalogue::kFileWAV || (type >= 32 && type <= 8192)) {
        CreateDestBufferWAV(job, image);
    } else if (type == catalogue::kFileAIFF || type == catalogue::kFileAIFC) {
        CreateDestBufferAIFC(job, image);
    } else if (type == catalogue::kFileFLAC) {
        CreateDestBufferFLAC(job, path);
    } else {
        unsupported(job);
    }
}

}  // namespace quiramo
