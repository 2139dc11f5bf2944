#pragma once
// Writes Le Mans Ultimate telemetry maps into a test's own shared-memory
// folder, with the offsets of the published layout spelt out here (not taken
// from the engine's constants), so a wrong offset in the engine shows up.

#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace qv::test {

class LMUTestMap {
public:
    static constexpr size_t kSize = 324824;
    static constexpr size_t kRecords = 128468;
    static constexpr size_t kRecordSize = 1888;

    explicit LMUTestMap(const std::string& folder) : m_map(folder), m_event(folder) {}

    // Creates the map (all zero) and, when asked, the data event.
    bool create(bool withDataEvent = true, size_t size = kSize) {
        if (withDataEvent && !m_event.openOrCreate("LMU_Data_Event"))
            return false;
        return m_map.create("LMU_Data", size);
    }
    void remove() {
        m_map.removeFile();
        m_map.close();
        if (m_event.isOpen()) {
            m_event.removeFile();
            m_event.close();
        }
    }

    uint8_t* bytes() { return m_map.writableData(); }
    template <typename T>
    void put(size_t offset, T v) { std::memcpy(bytes() + offset, &v, sizeof v); }
    template <typename T>
    void putRecord(size_t offset, T v, int record = 0) {
        put(kRecords + static_cast<size_t>(record) * kRecordSize + offset, v);
    }
    template <typename T>
    void putWheel(int corner, size_t offset, T v, int record = 0) {
        putRecord(848 + 260 * static_cast<size_t>(corner) + offset, v, record);
    }

    // One car, the player's, listed and with telemetry record 0; both
    // update flags set; 33 cm tyres on a dry surface; frame time 0.01 s.
    void setValidPlayer() {
        put<int32_t>(40, 1);                 // scoring updated
        put<int32_t>(44, 1);                 // telemetry updated
        put<int32_t>(1736, 1);               // vehicles in the scoring list
        bytes()[2192 + 196] = 1;             // vehicle 0 is the player
        bytes()[128464] = 1;                 // telemetry records in use
        bytes()[128465] = 0;                 // the player's record
        bytes()[128466] = 1;                 // the player has a vehicle
        putRecord<double>(4, 0.01);
        for (int c = 0; c < 4; ++c)
            bytes()[kRecords + 848 + 260 * static_cast<size_t>(c) + 179] = 33;
    }
    // The player moving forward at `speed` m/s in `gear`.
    void setMotion(double speed, int32_t gear) {
        putRecord<double>(200, -speed);
        putRecord<int32_t>(352, gear);
    }
    void setElapsed(double seconds) { putRecord<double>(12, seconds); }
    void setDeltaTime(double seconds) { putRecord<double>(4, seconds); }
    void setDeflection(int corner, double metres) { putWheel<double>(corner, 0, metres); }
    // Wheels turning so that the slip ratio is `ratio` at `speed` m/s.
    void setWheelSlip(int corner, double speed, double ratio) {
        putWheel<double>(corner, 40, speed * (1.0 - ratio) / 0.33);
    }
    void setThrottleBrake(double throttle, double brake) {
        putRecord<double>(420, throttle);
        putRecord<double>(428, brake);
    }

private:
    SharedMemoryMap m_map;
    NamedEvent m_event;
};

}  // namespace qv::test
