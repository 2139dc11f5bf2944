#include "engines/VelocityRing.h"

#include <algorithm>
#include <cmath>

namespace qv {

void VelocityRing::push(const float velocities[kCornerCount]) {
    for (int c = 0; c < kCornerCount; ++c)
        m_values[c][m_pos] = velocities[c];
    m_pos = (m_pos + 1) % kLength;
    if (m_pos == 0)
        m_full = true;
}

float VelocityRing::kerbLevel(int corner, float threshold, float fullScale) const {
    if (!m_full || corner < 0 || corner >= kCornerCount)
        return 0.0f;
    int qualifying = 0;
    float largest = 0.0f;
    for (float v : m_values[corner]) {
        const float magnitude = std::fabs(v);
        if (magnitude >= threshold) {
            ++qualifying;
            largest = std::max(largest, magnitude);
        }
    }
    if (qualifying < 3)
        return 0.0f;
    return std::min(largest / fullScale, 1.0f);
}

}  // namespace qv
