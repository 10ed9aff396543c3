#pragma once
// The RIFF/WAVE reader: format parameters, the chunks carried into the converted file
// (bext, iXML, ID3), the signature chunk of an earlier conversion and, for a processing
// pass, the sample bytes. Only integer PCM is accepted; range checks of rate, channels and
// bit depth belong to the analysis pass.

namespace quiramo {
class AudioFile;
class ReadOnlyFile;

// Reads the file named by job.inputFile. With headerOnly clear the sample bytes are handed
// to CreateSrcAudioData. Results are the job's fields and error bits.
void AnalyseWAV(AudioFile& job, bool headerOnly);

// The same on a file that is already open (a memory image, for the fuzzer).
void AnalyseWAV(AudioFile& job, ReadOnlyFile& file, bool headerOnly);

}  // namespace quiramo
