#include "engines/AcFamily.h"

#include <algorithm>

namespace qv {

void TravelVelocity::update(const float travel[kCornerCount], float dt, float velocity[kCornerCount]) {
    for (int c = 0; c < kCornerCount; ++c) {
        velocity[c] = m_havePrevious ? (travel[c] - m_previous[c]) / dt : 0.0f;
        m_previous[c] = travel[c];
    }
    m_havePrevious = true;
}

float wheelSlipAmplitude(float wheelSlip, const EffectProfile& fx) {
    const int threshold = std::clamp(fx.wheelSlipThreshold, 1, 100);
    const float a = static_cast<float>(threshold - 1) / 99.0f * 0.2f;
    const float onset = 1.2f - a;
    if (!(wheelSlip > onset))
        return 0.0f;
    return std::min((wheelSlip - onset) / (1.0f - a), 1.0f) * fx.wheelSlipSensitivity;
}

}  // namespace qv
