#pragma once
// Writes iRacing telemetry blocks into a test's own shared-memory folder, byte
// by byte with the offsets of the published layout spelt out here (not taken
// from the engine's constants), so a wrong offset in the engine shows up.

#include "platform/SharedMemory.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qv::test {

class IRacingTestBlock {
public:
    enum Type : int32_t { kBool = 1, kInt = 2, kFloat = 4, kDouble = 5 };

    explicit IRacingTestBlock(std::string folder) : m_map(std::move(folder)) {}

    // Declares a variable; its row offset is assigned in declaration order.
    void addVar(const std::string& name, Type type, int32_t count = 1, bool countAsTime = false);
    // The 34 variables the engine binds (plain shock variables, rumble pitches,
    // vehicle values); with360Hz adds the eight "_ST" variables of six elements.
    void addStandardVars(bool with360Hz);

    // Creates the map: the 112-byte header, the variable headers from offset
    // 112 + gap, then `buffers` rows. Status bit set when `running`.
    bool create(int buffers = 3, bool running = true, size_t extraBytes = 0);
    void remove();

    // Raw access for hostile blocks.
    uint8_t* bytes() { return m_map.writableData(); }
    size_t size() const { return m_map.size(); }
    void putInt(size_t offset, int32_t v) { std::memcpy(bytes() + offset, &v, sizeof v); }
    int32_t getInt(size_t offset) const {
        int32_t v;
        std::memcpy(&v, m_map.data() + offset, sizeof v);
        return v;
    }

    void setRunning(bool running) { putInt(4, running ? 1 : 0); }
    void setTick(int buffer, int32_t tick) { putInt(48 + 16 * static_cast<size_t>(buffer), tick); }
    size_t rowOffset(int buffer) const { return static_cast<size_t>(getInt(48 + 16 * static_cast<size_t>(buffer) + 4)); }
    // Offset of the variable header of `name` (for corrupting it).
    size_t varHeaderOffset(const std::string& name) const;

    // Values go into a staging row, then publish() copies it into a buffer.
    void setFloat(const std::string& name, float v, int element = 0);
    void setDouble(const std::string& name, double v);
    void setInt(const std::string& name, int32_t v);
    void setBool(const std::string& name, bool v);
    // The car on track at 30 m/s with a little suspension motion.
    void setOnTrackDefaults();

    // Copies the staging row into `buffer` and then gives it `tick`.
    void publish(int buffer, int32_t tick);
    // Publishes into the next buffer round-robin with the next tick.
    void publishNext();

private:
    struct Var {
        std::string name;
        Type type;
        int32_t count;
        bool countAsTime;
        int32_t offset;
    };
    const Var* find(const std::string& name) const;
    static size_t widthOf(Type type) { return type == kDouble ? 8 : type == kBool ? 1 : 4; }

    SharedMemoryMap m_map;
    std::vector<Var> m_vars;
    std::vector<uint8_t> m_row;
    int32_t m_rowLength = 0;
    int m_buffers = 0;
    int m_nextBuffer = 0;
    int32_t m_nextTick = 1;
};

}  // namespace qv::test
