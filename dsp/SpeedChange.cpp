#include "dsp/SpeedChange.h"

#include "engine/record/AudioFile.h"

namespace quiramo {

// The speed change lands with the rate-conversion work; until then audio keeps its speed.
void WindUpSpeedChange(AudioFile&) {}

}  // namespace quiramo
