#include "spatial/Dispatcher.h"

#include "engine/record/AudioFile.h"
#include "platform/Assert.h"

namespace quiramo {

void StereoEnhancement(AudioFile& job, unsigned stage) {
    QRM_FAIL("Unknown enhancement type %lu in %s",
             static_cast<unsigned long>(stage == 1 ? job.filterType_1 : job.filterType_2), __func__);
}

}  // namespace quiramo
