#pragma once
// The patterns of the effect preview: a synthetic haptic frame that animates
// one effect over time, and the meter levels it shows. Pure functions,
// real-time safe.

#include "engines/HapticFrame.h"
#include "settings/HapticSettings.h"

namespace qv {

// Gear pulses of the gear preview repeat after this many seconds.
inline constexpr float kPreviewGearPeriod = 0.25f;

// The frame that previews `effect` at `t` seconds into the preview (the
// same values in all four corners), from the levels and frequencies of
// `profile`. The gear change has no frame values (its pulse comes from the
// envelope), so its frame is the idle frame.
HapticFrame effectPreviewFrame(int effect, float t, const EffectProfile& profile);

// The meter levels of `frame` for the previewed `effect`, in EffectId order;
// the effects not previewed read 0. For the gear change, t is the time since
// the last pulse.
void effectPreviewLevels(int effect, float t, const EffectProfile& profile, const HapticFrame& frame,
                         float levels[kEffectCount]);

}  // namespace qv
