#include "engine/Pipeline.h"

#include "engine/record/AudioFile.h"
#include "platform/Assert.h"

namespace quiramo {

void ProcessAudioData(AudioFile&) { QRM_FAIL("The pipeline is not built yet in %s", __func__); }

}  // namespace quiramo
