#pragma once
// The last four suspension velocities of each corner, for the kerb band of
// the dual-band suspension model: a kerb shakes a corner quickly again and
// again, while a single bump moves it once.

#include "settings/HapticSettings.h"

namespace qv {

class VelocityRing {
public:
    static constexpr int kLength = 4;

    void reset() { *this = VelocityRing(); }
    // Adds one velocity per corner (m/s, LF RF LR RR) at the current slot.
    void push(const float velocities[kCornerCount]);
    // True once every slot has been written since the last reset.
    bool isFull() const { return m_full; }
    int position() const { return m_pos; }

    // The kerb level of a corner: 0 until the ring is full, and 0 unless at
    // least three of the corner's four velocities reach `threshold` in
    // magnitude; then the largest of those over `fullScale`, at most 1.
    float kerbLevel(int corner, float threshold, float fullScale) const;

private:
    float m_values[kCornerCount][kLength] = {};
    int m_pos = 0;
    bool m_full = false;
};

}  // namespace qv
