#include "engines/IRacingTestBlock.h"

#include "settings/HapticSettings.h"

namespace qv::test {

namespace {
constexpr size_t kHeader = 112;
constexpr size_t kVarHeader = 144;
}  // namespace

void IRacingTestBlock::addVar(const std::string& name, Type type, int32_t count, bool countAsTime) {
    const size_t width = widthOf(type);
    m_rowLength = static_cast<int32_t>((static_cast<size_t>(m_rowLength) + width - 1) / width * width);
    m_vars.push_back({name, type, count, countAsTime, m_rowLength});
    m_rowLength += static_cast<int32_t>(width * static_cast<size_t>(count < 0 ? 0 : count));
}

void IRacingTestBlock::addStandardVars(bool with360Hz) {
    addVar("SessionTime", kDouble);
    for (const char* corner : kCornerNames) {
        const std::string c = corner;
        addVar(c + "shockDefl", kFloat);
        addVar(c + "shockVel", kFloat);
        addVar("Tire" + c + "_RumblePitch", kFloat);
        if (with360Hz) {
            addVar(c + "shockDefl_ST", kFloat, 6, true);
            addVar(c + "shockVel_ST", kFloat, 6, true);
        }
    }
    for (const char* name : {"RPM", "Throttle", "Brake", "Speed", "YawRate", "LatAccel", "LongAccel", "VelocityY",
                             "SteeringWheelAngle"})
        addVar(name, kFloat);
    addVar("Gear", kInt);
    addVar("IsOnTrack", kBool);
    addVar("IsInGarage", kBool);
    addVar("BrakeABSactive", kBool);
}

bool IRacingTestBlock::create(int buffers, bool running, size_t extraBytes) {
    m_buffers = buffers;
    m_rowLength = static_cast<int32_t>((static_cast<size_t>(m_rowLength) + 15) / 16 * 16);
    m_row.assign(static_cast<size_t>(m_rowLength), 0);
    const size_t firstRow = kHeader + m_vars.size() * kVarHeader;
    const size_t rows = static_cast<size_t>(buffers > 0 ? buffers : 0);
    if (!m_map.create("Local\\IRSDKMemMapFileName", firstRow + rows * static_cast<size_t>(m_rowLength) + extraBytes))
        return false;
    putInt(0, 2);
    putInt(4, running ? 1 : 0);
    putInt(8, 60);
    putInt(24, static_cast<int32_t>(m_vars.size()));
    putInt(28, static_cast<int32_t>(kHeader));
    putInt(32, buffers);
    putInt(36, m_rowLength);
    for (size_t b = 0; b < 4; ++b) {
        putInt(48 + 16 * b, -1);
        putInt(48 + 16 * b + 4, static_cast<int32_t>(firstRow + (b < rows ? b : 0) * static_cast<size_t>(m_rowLength)));
    }
    for (size_t i = 0; i < m_vars.size(); ++i) {
        const Var& v = m_vars[i];
        const size_t h = kHeader + i * kVarHeader;
        putInt(h, v.type);
        putInt(h + 4, v.offset);
        putInt(h + 8, v.count);
        bytes()[h + 12] = v.countAsTime ? 1 : 0;
        std::memcpy(bytes() + h + 16, v.name.data(), std::min<size_t>(v.name.size(), 32));
    }
    return true;
}

void IRacingTestBlock::remove() {
    m_map.removeFile();
    m_map.close();
}

size_t IRacingTestBlock::varHeaderOffset(const std::string& name) const {
    for (size_t i = 0; i < m_vars.size(); ++i) {
        if (m_vars[i].name == name)
            return kHeader + i * kVarHeader;
    }
    return 0;
}

const IRacingTestBlock::Var* IRacingTestBlock::find(const std::string& name) const {
    for (const Var& v : m_vars) {
        if (v.name == name)
            return &v;
    }
    return nullptr;
}

void IRacingTestBlock::setFloat(const std::string& name, float v, int element) {
    if (const Var* var = find(name))
        std::memcpy(m_row.data() + var->offset + 4 * element, &v, sizeof v);
}

void IRacingTestBlock::setDouble(const std::string& name, double v) {
    if (const Var* var = find(name))
        std::memcpy(m_row.data() + var->offset, &v, sizeof v);
}

void IRacingTestBlock::setInt(const std::string& name, int32_t v) {
    if (const Var* var = find(name))
        std::memcpy(m_row.data() + var->offset, &v, sizeof v);
}

void IRacingTestBlock::setBool(const std::string& name, bool v) {
    if (const Var* var = find(name))
        m_row[static_cast<size_t>(var->offset)] = v ? 1 : 0;
}

void IRacingTestBlock::setOnTrackDefaults() {
    setBool("IsOnTrack", true);
    setBool("IsInGarage", false);
    setFloat("Speed", 30.0f);
    setFloat("RPM", 6000.0f);
    setInt("Gear", 3);
    setDouble("SessionTime", 12.5);
    for (const char* corner : kCornerNames)
        setFloat(std::string(corner) + "shockVel", 0.02f);
}

void IRacingTestBlock::publish(int buffer, int32_t tick) {
    std::memcpy(bytes() + rowOffset(buffer), m_row.data(), m_row.size());
    setTick(buffer, tick);
}

void IRacingTestBlock::publishNext() {
    publish(m_nextBuffer, m_nextTick++);
    m_nextBuffer = m_buffers > 0 ? (m_nextBuffer + 1) % m_buffers : 0;
}

}  // namespace qv::test
