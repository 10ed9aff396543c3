#pragma once
// The measurement report of finished rows as text lines: what the desktop copies to the
// clipboard and the command line prints with --report.

#include <string>
#include <vector>

namespace quiramo {
class AudioFile;

// Appends the report of one job numbered `number`: converted jobs (state 8) give the
// source, mid-enhancement (when measured) and converted sections, analysed jobs (state 4)
// the source section. Returns false, appending nothing, for jobs in any other state.
bool appendMetricsReport(const AudioFile& job, unsigned number, std::vector<std::string>& lines);

}  // namespace quiramo
