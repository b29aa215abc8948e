#include "split/SplitInputs.h"

#include "split/SplitPlanners.h"
#include "stream/TenthsText.h"

namespace qm {

SplitInputs SplitInputs::FromSettings(const SplitSettings& settings) {
    SplitInputs inputs;
    inputs.mode = settings.SplitType;
    inputs.sizeBytes = PieceSizeBytes(settings.SplitFileSizeEx, settings.SplitFileUnit);
    inputs.count = settings.SplitFileAmount;
    inputs.pieceTenths = settings.SplitTimeSec * kTenthsPerSecond + settings.SplitTimeMin * kTenthsPerMinute;
    inputs.beginTenths = LenientSecondsToTenths(settings.SplitCustomFromSec);
    inputs.lengthTenths = LenientSecondsToTenths(settings.SplitCustomDuration);
    inputs.silence = settings.silence;
    return inputs;
}

}  // namespace qm
