#include "spatial/Dispatcher.h"

#include <cstdint>

#include "engine/record/AudioFile.h"
#include "engine/record/Catalogue.h"
#include "engine/record/Progress.h"
#include "platform/Assert.h"
#include "platform/Log.h"

namespace quiramo {
namespace {

using namespace catalogue;

using Operation = void (*)(AudioFile& job, unsigned stage);

// The types a row serves and the operations that implement them, run in this order with
// the same stage number. A null operation is one whose family has not landed yet: its
// types are outside availableTypes(), so no front end offers them, and reaching one is a
// consistency failure like an unknown type.
struct Route {
    uint64_t types;
    unsigned count;
    Operation operations[3];
};

constexpr Route kRoutes[] = {
    {kTypeNO | kTypeHR, 1, {StereoCorrectionNone}},
    {kTypeQW | kTypeBQ, 1, {/* Quernwald */}},
    {kTypeQWT, 1, {/* QuernwaldTSym */}},
    {kTypeZS1 | kTypeLD | kTypeTQ, 1, {/* LatticeDelta */}},
    {kTypeIR, 2, {/* InnerRoom, InnerRoomReverb */}},
    {kTypeCN20 | kTypeCN51 | kTypeCN50, 1, {/* CantorSurround */}},
    // Quernwald writes the crossfed front pair, CantorSurround derives the other channels.
    {kTypeCN40, 2, {/* Quernwald, CantorSurround */}},
    // CassetteNoiseReduction decodes the surround pair of the finished six channels.
    {kTypeCS51, 2, {/* CantorSurround, CassetteNoiseReduction */}},
    {kTypeCS40, 3, {/* Quernwald, CantorSurround, CassetteNoiseReduction */}},
    {kTypeRL | kTypeRH | kTypeQS | kTypeSQ | kTypeUHJ | kTypeMH, 1, {/* Hilbert */}},
    {kTypeCD4 | kTypeCD4HQ, 3,
     {/* CD4_Quadraphonic_1_InputSubFM, PhonographEQ, CD4_Quadraphonic_2_LevelCompOutput */}},
    {kTypePA1 | kTypePA2 | kTypePA3 | kTypePB1 | kTypePB2 | kTypePC | kTypePD | kTypePE | kTypePF | kTypePG |
         kTypePH | kTypePJ | kTypePK | kTypePP1 | kTypePP2 | kTypePP3 | kTypePS | kTypeRF | kTypeCD,
     1,
     {/* PhonographEQ */}},
    {kTypePZ1, 1, {/* PhonographAntiEQ */}},
    {kTypeTA | kTypeTB | kTypeTC | kTypeTD, 1, {/* TapeEQ */}},
    {kTypeCNR, 1, {/* CassetteNoiseReduction */}},
    {kTypeC22, 1, {/* Cat22NoiseReduction */}},
    {kTypeGR, 1, {/* Groove24 */}},
    {kTypeUNL, 1, {/* Unlimiting */}},
    {kTypeHUM | kTypeHUMB, 1, {/* HumRemoval */}},
    {kTypeKO, 1, {/* KestrelOneFilter */}},
};

// Every type of the catalogue in exactly one row.
constexpr bool routesCoverCatalogueOnce() {
    uint64_t seen = 0;
    for (const Route& r : kRoutes) {
        if (seen & r.types) return false;
        seen |= r.types;
    }
    return seen == kAllTypes;
}
static_assert(routesCoverCatalogueOnce(), "each enhancement type needs exactly one dispatch row");

// The row of a catalogue type whose operations all exist, or nullptr.
const Route* runnableRoute(uint64_t type) {
    if (findEnhancement(type) == nullptr) return nullptr;
    for (const Route& r : kRoutes) {
        if (!(r.types & type)) continue;
        for (unsigned i = 0; i < r.count; ++i) {
            if (r.operations[i] == nullptr) return nullptr;
        }
        return &r;
    }
    return nullptr;
}

}  // namespace

void StereoEnhancement(AudioFile& job, unsigned stage) {
    if (stage != 1 && stage != 2) {
        QRM_FAIL("Unexpected enhancement number in %s", __func__);
        return;
    }
    const uint64_t type = stage == 1 ? job.filterType_1 : job.filterType_2;
    const Route* route = runnableRoute(type);
    if (route == nullptr) {
        QRM_FAIL("Unknown enhancement type %lu in %s", static_cast<unsigned long>(type), __func__);
        return;
    }
    if (type == kTypeNO) {
        platform::log("<Info> Apply no stereo enhancement");
    } else {
        platform::log("<Info> Apply the %s enhancement", displayName(type));
    }
    for (unsigned i = 0; i < route->count; ++i) {
        route->operations[i](job, stage);
        // A later operation completing would reset the error to 0 and report a failed
        // (or stopped) stage as done; the pipeline must see the failure.
        if (job.error != 0) return;
    }
}

void StereoCorrectionNone(AudioFile& job, unsigned stage) {
    if (stage != 1 && stage != 2) {
        QRM_FAIL("Unexpected enhancement number in %s", __func__);
        return;
    }
    const uint64_t type = stage == 1 ? job.filterType_1 : job.filterType_2;
    if (type != kTypeNO && type != kTypeHR) {
        QRM_FAIL("Unknown enhancement type %lu in %s", static_cast<unsigned long>(type), __func__);
        return;
    }
    // For these two types the stage keeps the channel layout, so the copy is index by index.
    const SampleBuffer& input = stage == 1 ? job.audioBuf_0 : job.audioBuf_1;
    SampleBuffer& output = stage == 1 ? job.audioBuf_1 : job.audioBuf_2;
    const uint32_t channels = stage == 1 ? job.dstChannels_1 : job.dstChannels_2;
    const size_t samples = size_t{job.dstFrames} * channels;
    if (input.size() < samples || output.size() < samples) {
        QRM_FAIL("Missing stage buffer in %s", __func__);
        return;
    }

    if (type == kTypeNO) {
        platform::log("<Info>  None");
        job.setText(Column::state, "None...");
    } else {
        platform::log("<Info>  Hi-Res upconversion");
        job.setText(Column::state, "Hi-Res upconversion...");
    }
    if (!job.updateProgressTableText(0)) return;

    Progress progress = jobProgress(job, progressInterval(samples), 0);
    const double* in = input.data();
    double* out = output.data();
    for (size_t i = 0; i < samples; ++i) {
        out[i] = in[i];
        if (!progress.step()) return;
    }
    job.error = 0;
}

}  // namespace quiramo
