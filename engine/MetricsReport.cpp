#include "engine/MetricsReport.h"

#include "engine/record/AudioFile.h"
#include "platform/Log.h"

namespace quiramo {

bool appendMetricsReport(const AudioFile& job, unsigned number, std::vector<std::string>& lines) {
    const int state = job.state;
    if (state != kStateConverted && state != kStateAnalysed) return false;
    auto section = [&](const char* title, const std::string& file, const std::vector<std::string>& metrics) {
        lines.push_back(platform::format("==== %s AUDIO FILE %u ====", title, number));
        if (!file.empty()) lines.push_back("File Name = " + file);
        lines.insert(lines.end(), metrics.begin(), metrics.end());
        lines.emplace_back();
    };
    section("SOURCE", job.inputFile, job.srcMetrics);
    if (state == kStateConverted) {
        if (!job.midMetrics.empty()) section("MID-ENHANCEMENT", "", job.midMetrics);
        section("CONVERTED", job.text(Column::destinationName), job.dstMetrics);
    }
    return true;
}

}  // namespace quiramo
