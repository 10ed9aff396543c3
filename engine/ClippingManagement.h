#pragma once
// Keeps the converted samples within the output word length: attenuate, clamp, or ask.

namespace quiramo {
class AudioFile;

void ClippingManagement(AudioFile& job, unsigned point);
// The alert through the host; stores the answer in clipOption.
void ShowClippingGainWarning(AudioFile& job);

}  // namespace quiramo
