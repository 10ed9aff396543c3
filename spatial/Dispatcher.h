#pragma once
// The enhancement dispatcher: runs Enhancement 1 (stage 1) or Enhancement 2 (stage 2)
// under the stage contract.
//
// Stage contract: every enhancement operation takes only the stage number and finds the rest
// in the job record. Stage 1 reads filterType_1 and audioBuf_0 (srcChannels per frame) and
// writes audioBuf_1 (dstChannels_1); stage 2 reads filterType_2 and audioBuf_1 and writes
// audioBuf_2 (dstChannels_2). Both run over dstFrames frames at dstFrameRate. The pipeline
// allocates the zero-filled output before the stage; an operation that completes sets
// error to 0, one that cannot get memory sets error 2.

namespace quiramo {
class AudioFile;

// Logs the stage's enhancement and runs its operations in order.
void StereoEnhancement(AudioFile& job, unsigned stage);

// None and Hi-Res: the stage input copied unchanged to the stage output (Hi-Res changes
// only the rate and word length around the stages).
void StereoCorrectionNone(AudioFile& job, unsigned stage);

}  // namespace quiramo
