#include "untFlatField.h"

#include "untCorrect.h"
#include "untCorrectKernels.h"

namespace {

TPreparedMap PrepareGainMap(const BmpRecord& flat) {
    if (!FlatGainUsable(flat)) return {nullptr, "The flat field is too dark to divide by: its mean level is 0"};
    return {FlatGainMap(flat), {}};
}

uint32_t DivideByGain(BmpRecord& light, const double* gain) {
    DivideByGainMap(light, gain);
    return BMP_NO_ERROR;
}

}  // namespace

void RunFlatField(TMainState& state, TUiPort& port) {
    CorrectWithReference(state, port,
                         {"Select Flat Field", "Flat fielding ", "flat field", PrepareGainMap, DivideByGain});
}
