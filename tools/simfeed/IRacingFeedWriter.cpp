#include "simfeed/IRacingFeedWriter.h"

#include "engines/IRacingLayout.h"
#include "settings/HapticSettings.h"
#include "simfeed/PageWriting.h"

#include <cstring>

namespace qv::simfeed {

namespace {

size_t widthOf(int32_t type) {
    switch (type) {
    case irsdk::kChar:
    case irsdk::kBool: return 1;
    case irsdk::kDouble: return 8;
    default: return 4;
    }
}

size_t alignUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

}  // namespace

IRacingFeedWriter::IRacingFeedWriter(const FeedConfig& config)
    : m_config(config), m_map(config.shmFolder), m_event(config.shmFolder) {
    addVariables();
}

void IRacingFeedWriter::addFloat(const std::string& name, std::function<float(const DriveState&)> get) {
    m_vars.push_back({name, irsdk::kFloat, 1, false,
                      [get](const DriveState* states, int) { return static_cast<double>(get(states[5])); }});
}

void IRacingFeedWriter::addSubSampled(const std::string& name, std::function<float(const DriveState&)> get) {
    m_vars.push_back({name, irsdk::kFloat, irsdk::kSubSamples, true,
                      [get](const DriveState* states, int i) { return static_cast<double>(get(states[i])); }});
}

void IRacingFeedWriter::addVariables() {
    m_vars.push_back({"SessionTime", irsdk::kDouble, 1, false,
                      [](const DriveState* s, int) { return s[5].sessionTime; }});
    m_vars.push_back({"Gear", irsdk::kInt, 1, false, [](const DriveState* s, int) { return double(s[5].gear); }});
    m_vars.push_back({"IsOnTrack", irsdk::kBool, 1, false,
                      [](const DriveState* s, int) { return s[5].onTrack ? 1.0 : 0.0; }});
    m_vars.push_back({"IsInGarage", irsdk::kBool, 1, false,
                      [](const DriveState* s, int) { return s[5].inGarage ? 1.0 : 0.0; }});
    m_vars.push_back({"OnPitRoad", irsdk::kBool, 1, false,
                      [](const DriveState* s, int) { return s[5].onPitRoad ? 1.0 : 0.0; }});
    m_vars.push_back({"BrakeABSactive", irsdk::kBool, 1, false,
                      [](const DriveState* s, int) { return s[5].absActive ? 1.0 : 0.0; }});
    addFloat("Speed", [](const DriveState& s) { return s.speed; });
    addFloat("RPM", [](const DriveState& s) { return s.rpm; });
    addFloat("Throttle", [](const DriveState& s) { return s.throttle; });
    addFloat("Brake", [](const DriveState& s) { return s.brake; });
    addFloat("SteeringWheelAngle", [](const DriveState& s) { return s.steerAngle; });
    addFloat("YawRate", [](const DriveState& s) { return s.yawRate; });
    addFloat("VelocityY", [](const DriveState& s) { return s.localVelY; });
    addFloat("LatAccel", [](const DriveState& s) { return s.latAccel; });
    addFloat("LongAccel", [](const DriveState& s) { return s.longAccel; });
    for (int c = 0; c < kCornerCount; ++c) {
        const std::string corner = kCornerNames[c];
        addFloat(corner + "shockDefl", [c](const DriveState& s) { return s.shockDefl[c]; });
        addFloat(corner + "shockVel", [c](const DriveState& s) { return s.shockVel[c]; });
        if (m_config.iracing360Hz) {
            addSubSampled(corner + "shockDefl_ST", [c](const DriveState& s) { return s.shockDefl[c]; });
            addSubSampled(corner + "shockVel_ST", [c](const DriveState& s) { return s.shockVel[c]; });
        }
        addFloat("Tire" + corner + "_RumblePitch", [c](const DriveState& s) { return s.rumblePitch[c]; });
    }

    size_t offset = 0;
    for (Variable& v : m_vars) {
        const size_t width = widthOf(v.type);
        offset = alignUp(offset, width);
        v.offset = static_cast<int32_t>(offset);
        offset += width * static_cast<size_t>(v.count);
    }
    m_rowLength = alignUp(offset, 16);
}

void IRacingFeedWriter::writeInt(size_t offset, int32_t value) { putAt(m_map.writableData(), offset, value); }

bool IRacingFeedWriter::open() {
    close();
    const size_t varHeaders = irsdk::kHeaderSize;
    m_firstRow = alignUp(varHeaders + m_vars.size() * irsdk::kVarHeaderSize, 16);
    const size_t total = m_firstRow + kBufferCount * m_rowLength;
    if (!m_map.create(irsdk::kMapName, total)) {
        m_error = m_map.lastError();
        return false;
    }
    uint8_t* base = m_map.writableData();
    writeInt(0, 2);  // header version
    writeInt(irsdk::kStatusOffset, 0);
    writeInt(irsdk::kTickRateOffset, kTickRate);
    writeInt(irsdk::kVarCountOffset, static_cast<int32_t>(m_vars.size()));
    writeInt(irsdk::kVarHeaderOffsetOffset, static_cast<int32_t>(varHeaders));
    writeInt(irsdk::kBufferCountOffset, kBufferCount);
    writeInt(irsdk::kBufferLengthOffset, static_cast<int32_t>(m_rowLength));
    for (int b = 0; b < kBufferCount; ++b) {
        const size_t d = irsdk::kBuffersOffset + static_cast<size_t>(b) * irsdk::kBufferDescriptorSize;
        writeInt(d, -1);
        writeInt(d + 4, static_cast<int32_t>(m_firstRow + static_cast<size_t>(b) * m_rowLength));
    }
    for (size_t i = 0; i < m_vars.size(); ++i) {
        const Variable& v = m_vars[i];
        const size_t h = varHeaders + i * irsdk::kVarHeaderSize;
        writeInt(h + irsdk::kVarTypeOffset, v.type);
        writeInt(h + irsdk::kVarDataOffset, v.offset);
        writeInt(h + irsdk::kVarCountOffsetInHeader, v.count);
        base[h + irsdk::kVarCountAsTimeOffset] = v.countAsTime ? 1 : 0;
        std::memcpy(base + h + irsdk::kVarNameOffset, v.name.data(), std::min(v.name.size(), irsdk::kVarNameSize));
    }
    if (!m_event.openOrCreate(irsdk::kDataValidEventName)) {
        m_error = m_event.lastError();
        removeMap(m_map);
        return false;
    }
    m_running = false;
    return true;
}

void IRacingFeedWriter::publish(double t, int tick) {
    if (!m_map.isOpen())
        return;
    DriveState states[irsdk::kSubSamples];
    for (int i = 0; i < irsdk::kSubSamples; ++i)
        states[i] = driveAt(m_config.script, t - (irsdk::kSubSamples - 1 - i) / 360.0);

    const int buffer = ((tick % kBufferCount) + kBufferCount) % kBufferCount;
    uint8_t* row = m_map.writableData() + m_firstRow + static_cast<size_t>(buffer) * m_rowLength;
    for (const Variable& v : m_vars) {
        const size_t width = widthOf(v.type);
        for (int i = 0; i < v.count; ++i) {
            uint8_t* at = row + v.offset + static_cast<size_t>(i) * width;
            const double value = v.value(states, i);
            if (v.type == irsdk::kDouble) {
                std::memcpy(at, &value, sizeof value);
            } else if (v.type == irsdk::kFloat) {
                const float f = static_cast<float>(value);
                std::memcpy(at, &f, sizeof f);
            } else if (v.type == irsdk::kInt) {
                const int32_t n = static_cast<int32_t>(value);
                std::memcpy(at, &n, sizeof n);
            } else {
                *at = value != 0.0 ? 1 : 0;
            }
        }
    }
    // The row is complete before its tick count names it the newest.
    putRelease(m_map.writableData(),
               irsdk::kBuffersOffset + static_cast<size_t>(buffer) * irsdk::kBufferDescriptorSize, tick);
    if (!m_running) {
        putRelease(m_map.writableData(), irsdk::kStatusOffset, irsdk::kStatusConnected);
        m_running = true;
    }
    m_event.signal();
}

void IRacingFeedWriter::close() {
    if (m_map.isOpen())
        putRelease(m_map.writableData(), irsdk::kStatusOffset, 0);
    removeMap(m_map);
    releaseEvent(m_event);
    m_running = false;
}

void IRacingFeedWriter::discard() {
    removeMap(m_map);
    releaseEvent(m_event);
    m_running = false;
}

std::string IRacingFeedWriter::describe() const {
    return std::string("iRacing, ") + (m_config.iracing360Hz ? "360 Hz sub-samples" : "60 Hz") + ", script " +
           scriptName(m_config.script) + ", in " + (m_map.path().empty() ? std::string("?") : m_map.path());
}

}  // namespace qv::simfeed
