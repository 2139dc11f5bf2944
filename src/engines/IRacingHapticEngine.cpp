// Telemetry access of the iRacing engine: connecting to the map, the variable
// index, the choice of the newest row and the sample record.

#include "engines/IRacingHapticEngine.h"

#include "engines/ConnectSupport.h"
#include "engines/ConsoleKit.h"
#include "engines/IRacingLayout.h"
#include "engines/TelemetryValues.h"
#include "platform/Output.h"
#include "platform/PrintableText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace qv {

// A variable the engine reads, its name hashed once at compile time.
struct WantedName {
    std::string_view name;
    uint32_t hash;
    constexpr WantedName(const char* n);
};

namespace {

constexpr uint32_t hashName(std::string_view name) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : name)
        hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    return hash;
}

}  // namespace

constexpr WantedName::WantedName(const char* n) : name(n), hash(hashName(name)) {}

namespace {

// The per-corner variables, in corner order (LF RF LR RR).
using CornerNames = WantedName[kCornerCount];
constexpr CornerNames kShockDeflST = {"LFshockDefl_ST", "RFshockDefl_ST", "LRshockDefl_ST", "RRshockDefl_ST"};
constexpr CornerNames kShockVelST = {"LFshockVel_ST", "RFshockVel_ST", "LRshockVel_ST", "RRshockVel_ST"};
constexpr CornerNames kShockDefl = {"LFshockDefl", "RFshockDefl", "LRshockDefl", "RRshockDefl"};
constexpr CornerNames kShockVel = {"LFshockVel", "RFshockVel", "LRshockVel", "RRshockVel"};
constexpr CornerNames kRumblePitch = {"TireLF_RumblePitch", "TireRF_RumblePitch", "TireLR_RumblePitch",
                                      "TireRR_RumblePitch"};

// The index's order: by name hash, then header. Names that share a hash (a
// repeated name, or rarely two names) are neighbours, in header order.
bool indexOrder(const IRacingVariable& a, const IRacingVariable& b) {
    return a.nameHash != b.nameHash ? a.nameHash < b.nameHash : a.header < b.header;
}

}  // namespace

IRacingHapticEngine::IRacingHapticEngine(std::string shmFolder, IClock* clock)
    : m_clock(clock ? clock : &m_systemClock), m_map(shmFolder), m_dataValidEvent(shmFolder) {
    static_assert(sizeof(IRacingVariable::name) == irsdk::kVarNameSize + 1);
}

IRacingHapticEngine::~IRacingHapticEngine() { disconnect(); }

int32_t IRacingHapticEngine::headerInt(size_t offset) const {
    if (!m_map.isOpen() || offset + sizeof(int32_t) > m_map.size())
        return 0;
    int32_t v = 0;
    if (!m_map.read(offset, &v, sizeof v)) {
        m_readFaulted = true;
        return 0;
    }
    return v;
}

void IRacingHapticEngine::reportBadBlock(bool& told, const std::string& text) {
    if (told)
        return;
    told = true;
    // Texts may quote names and numbers from the map: printed without control characters.
    errPrint("[IRacingHapticEngine] ERROR: %s\n", printableText(text).c_str());
}

void IRacingHapticEngine::reportConnectFailure(const std::string& text) {
    m_error = text;
    reportConnectProblem("[IRacingHapticEngine]", text, m_lastReported);
}

bool IRacingHapticEngine::connect() {
    disconnect();
    if (!m_map.open(irsdk::kMapName, irsdk::kHeaderSize)) {
        // No simulator: quiet, the run loop retries.
        reportConnectFailure(openProblem(m_map));
        return false;
    }
    if ((headerInt(irsdk::kStatusOffset) & irsdk::kStatusConnected) == 0) {
        // Loaded but not running.
        disconnect();
        return false;
    }

    const int32_t varCount = headerInt(irsdk::kVarCountOffset);
    const int32_t varArray = headerInt(irsdk::kVarHeaderOffsetOffset);
    if (!buildVariableIndex(varCount, varArray)) {
        disconnect();
        return false;
    }

    m_dataValidEvent.open(irsdk::kDataValidEventName);  // kept only to be closed; its absence is fine
    bindVariables();

    const IRacingVariable* lfDeflST = m_vars.shockDeflST[0];
    m_is360Hz = lfDeflST && lfDeflST->countAsTime && lfDeflST->count == irsdk::kSubSamples;

    m_sample = IRacingSample{};
    m_csv.reset();
    m_lastRowMs = m_clock->nowMs();
    m_stalled = false;
    m_error.clear();
    m_lastReported.clear();
    printConnectionReport();
    return true;
}

bool IRacingHapticEngine::buildVariableIndex(int32_t count, int32_t arrayOffset) {
    m_variables.clear();
    if (count > irsdk::kMaxVariables) {
        reportConnectFailure("the telemetry map claims " + std::to_string(count) + " variables, more than the " +
                             std::to_string(irsdk::kMaxVariables) + " a telemetry map can hold; it is not read");
        return false;
    }
    const int64_t end = static_cast<int64_t>(arrayOffset) + static_cast<int64_t>(count) * irsdk::kVarHeaderSize;
    if (count < 0 || arrayOffset < 0 || end > static_cast<int64_t>(m_map.size())) {
        reportConnectFailure("the telemetry map's variable headers (" + std::to_string(count) + " at offset " +
                             std::to_string(arrayOffset) + ") do not fit in its " + std::to_string(m_map.size()) +
                             " bytes");
        return false;
    }
    // One private copy of the headers: the file may shrink while they are read.
    m_headerCopy.resize(static_cast<size_t>(count) * irsdk::kVarHeaderSize);
    if (!m_map.read(static_cast<size_t>(arrayOffset), m_headerCopy.data(), m_headerCopy.size())) {
        reportConnectFailure("the telemetry map shrank while its variable headers were read");
        return false;
    }
    m_variables.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* h = m_headerCopy.data() + static_cast<size_t>(i) * irsdk::kVarHeaderSize;
        const char* namePtr = reinterpret_cast<const char*>(h + irsdk::kVarNameOffset);
        const size_t length = strnlen(namePtr, irsdk::kVarNameSize);
        if (length == 0)
            continue;
        IRacingVariable& var = m_variables.emplace_back();
        std::memcpy(var.name, namePtr, length);
        std::memcpy(&var.offset, h + irsdk::kVarDataOffset, sizeof var.offset);
        std::memcpy(&var.count, h + irsdk::kVarCountOffsetInHeader, sizeof var.count);
        var.countAsTime = h[irsdk::kVarCountAsTimeOffset] != 0;
        var.header = i;
        var.nameHash = hashName(std::string_view(var.name, length));
    }
    // Sorted for the look-ups; of a repeated name the later header is kept.
    std::sort(m_variables.begin(), m_variables.end(), indexOrder);
    size_t kept = 0;
    for (size_t i = 0; i < m_variables.size(); ++i) {
        bool repeatedLater = false;
        for (size_t j = i + 1; j < m_variables.size() && m_variables[j].nameHash == m_variables[i].nameHash; ++j)
            repeatedLater = repeatedLater || std::strcmp(m_variables[i].name, m_variables[j].name) == 0;
        if (!repeatedLater)
            m_variables[kept++] = m_variables[i];
    }
    m_variables.resize(kept);
    return true;
}

const IRacingVariable* IRacingHapticEngine::findVariable(const WantedName& wanted) const {
    auto it = std::lower_bound(m_variables.begin(), m_variables.end(), wanted.hash,
                               [](const IRacingVariable& v, uint32_t h) { return v.nameHash < h; });
    for (; it != m_variables.end() && it->nameHash == wanted.hash; ++it) {
        if (it->nameView() == wanted.name)
            return &*it;
    }
    return nullptr;
}

void IRacingHapticEngine::bindVariables() {
    Bindings& v = m_vars;
    for (int c = 0; c < kCornerCount; ++c) {
        v.shockDeflST[c] = findVariable(kShockDeflST[c]);
        v.shockVelST[c] = findVariable(kShockVelST[c]);
        v.shockDefl[c] = findVariable(kShockDefl[c]);
        v.shockVel[c] = findVariable(kShockVel[c]);
        v.rumblePitch[c] = findVariable(kRumblePitch[c]);
    }
    static constexpr WantedName kRpm("RPM"), kThrottle("Throttle"), kBrake("Brake"), kSpeed("Speed"),
        kYawRate("YawRate"), kLatAccel("LatAccel"), kLongAccel("LongAccel"), kVelocityY("VelocityY"),
        kSteerAngle("SteeringWheelAngle"), kGear("Gear"), kOnTrack("IsOnTrack"), kInGarage("IsInGarage"),
        kAbsActive("BrakeABSactive"), kSessionTime("SessionTime");
    v.rpm = findVariable(kRpm);
    v.throttle = findVariable(kThrottle);
    v.brake = findVariable(kBrake);
    v.speed = findVariable(kSpeed);
    v.yawRate = findVariable(kYawRate);
    v.latAccel = findVariable(kLatAccel);
    v.longAccel = findVariable(kLongAccel);
    v.velocityY = findVariable(kVelocityY);
    v.steerAngle = findVariable(kSteerAngle);
    v.gear = findVariable(kGear);
    v.onTrack = findVariable(kOnTrack);
    v.inGarage = findVariable(kInGarage);
    v.absActive = findVariable(kAbsActive);
    v.sessionTime = findVariable(kSessionTime);
}

void IRacingHapticEngine::printConnectionReport() const {
    std::string text;
    text.reserve(512);
    text += "\n[IRacingHapticEngine] Connected\n";
    appendFormat(text, "  Tick rate : %d Hz\n", headerInt(irsdk::kTickRateOffset));
    appendFormat(text, "  Variables : %d\n", headerInt(irsdk::kVarCountOffset));
    text += m_is360Hz ? "  360Hz     : YES - 6 sub-samples per frame\n"
                      : "  360Hz     : NO  - set irsdkLog360Hz=1 in Documents\\iRacing\\app.ini\n";
    text += "\n";
    for (int c = 0; c < kCornerCount; ++c) {
        appendFormat(text, "  %s shock: %s  %s\n", kCornerNames[c],
                     m_vars.shockDeflST[c] ? "360Hz defl OK" : "defl MISSING",
                     m_vars.shockVelST[c] ? "360Hz vel  OK" : "vel  MISSING");
    }
    text += "\n";
    outWrite(text);
}

bool IRacingHapticEngine::isConnected() const {
    // The fstat comes first: a map whose file shrank must not be read at all.
    return m_map.isOpen() && m_map.isIntact() &&
           (headerInt(irsdk::kStatusOffset) & irsdk::kStatusConnected) != 0;
}

void IRacingHapticEngine::disconnect() {
    m_variables.clear();
    m_vars = Bindings{};
    m_lastTickCount = -1;
    m_is360Hz = false;
    m_slip = IRacingSlipState{};
    m_sample = IRacingSample{};
    m_csv.reset();
    m_stalled = false;
    m_toldBadRow = false;
    m_toldBadVariable = false;
    m_map.close();
    m_dataValidEvent.close();
}

void IRacingHapticEngine::latestBuffer(int64_t& row, int32_t& tickCount) const {
    row = kNoRow;
    tickCount = -1;
    if (!m_map.isOpen())
        return;
    // Zero or fewer buffers: no row at all. The header holds four descriptors.
    const int32_t count = std::min(headerInt(irsdk::kBufferCountOffset), irsdk::kMaxBuffers);
    if (count <= 0)
        return;
    int best = 0;
    int32_t bestTick = -1;
    for (int i = 0; i < count; ++i) {
        const int32_t tick = headerInt(irsdk::kBuffersOffset + static_cast<size_t>(i) * irsdk::kBufferDescriptorSize);
        if (tick > bestTick) {  // strictly larger: on ties the lower index stays
            best = i;
            bestTick = tick;
        }
    }
    const int32_t offset =
        headerInt(irsdk::kBuffersOffset + static_cast<size_t>(best) * irsdk::kBufferDescriptorSize + 4);
    tickCount = bestTick;
    row = offset < 0 || static_cast<uint64_t>(offset) >= m_map.size() ? kRowOutsideMap : offset;
}

bool IRacingHapticEngine::element(int64_t row, const IRacingVariable* var, int index, size_t width, void* dst) {
    if (!var || row < 0)
        return false;  // not published: reads 0, as the connection report says
    const int64_t at = row + static_cast<int64_t>(var->offset) + static_cast<int64_t>(index) * static_cast<int64_t>(width);
    if (index < 0 || index >= var->count || var->offset < 0 ||
        at + static_cast<int64_t>(width) > static_cast<int64_t>(m_map.size())) {
        if (m_toldBadVariable)
            return false;
        reportBadBlock(m_toldBadVariable, "the telemetry variable \"" + std::string(var->name) + "\" (offset " +
                                              std::to_string(var->offset) + ", " + std::to_string(var->count) +
                                              " elements) has no element " + std::to_string(index) +
                                              " inside the map; it reads 0");
        return false;
    }
    if (!m_map.read(static_cast<size_t>(at), dst, width)) {
        m_readFaulted = true;
        return false;
    }
    return true;
}

TelemetryReading IRacingHapticEngine::readFloat(int64_t row, const IRacingVariable* var, int index, double limit) {
    float v = 0.0f;
    if (!element(row, var, index, sizeof v, &v))
        return {0.0f, true};
    const TelemetryReading r = readingOf(v, limit);
    m_rowComplete = m_rowComplete && r.present;
    return r;
}

double IRacingHapticEngine::readDouble(int64_t row, const IRacingVariable* var, int index, double limit,
                                       bool& present) {
    double v = 0.0;
    present = true;
    if (!element(row, var, index, sizeof v, &v))
        return 0.0;
    present = isPlausible(v, limit);
    m_rowComplete = m_rowComplete && present;
    return present ? v : 0.0;
}

int32_t IRacingHapticEngine::readInt(int64_t row, const IRacingVariable* var, int index) {
    int32_t v = 0;
    return element(row, var, index, sizeof v, &v) ? v : 0;
}

bool IRacingHapticEngine::readBool(int64_t row, const IRacingVariable* var, int index) {
    uint8_t v = 0;
    return element(row, var, index, sizeof v, &v) && v != 0;
}

bool IRacingHapticEngine::readTelemetry() {
    m_readFaulted = false;
    if (!isConnected())
        return false;
    int64_t row;
    int32_t tick;
    latestBuffer(row, tick);
    if (row == kNoRow)
        return false;
    if (row == kRowOutsideMap) {
        reportBadBlock(m_toldBadRow, "the newest telemetry row (tick " + std::to_string(tick) +
                                         ") starts outside the map's " + std::to_string(m_map.size()) +
                                         " bytes; no sample is taken");
        return false;
    }
    // Any other tick count is a new row: a restarted session is taken at once.
    if (tick == m_lastTickCount || m_readFaulted)
        return false;

    // Read into a copy: a row cut short by the file shrinking is not taken.
    // Values that are missing read 0, which leaves what they feed silent;
    // the three whose 0 would play say whether they are there.
    namespace lim = carLimits;
    IRacingSample s = m_sample;
    const Bindings& v = m_vars;
    m_rowComplete = true;
    s.tickCount = tick;
    s.sessionTime = readDouble(row, v.sessionTime, 0, lim::kSessionSeconds, s.hasSessionTime);
    const int newest = m_is360Hz ? irsdk::kSubSamples - 1 : 0;  // element 5: the newest of six sub-samples
    s.sampleCount = m_is360Hz ? irsdk::kSubSamples : 1;
    for (int c = 0; c < kCornerCount; ++c) {
        const IRacingVariable* defl = m_is360Hz ? v.shockDeflST[c] : v.shockDefl[c];
        const IRacingVariable* vel = m_is360Hz ? v.shockVelST[c] : v.shockVel[c];
        s.shockDefl[c] = readFloat(row, defl, newest, lim::kSuspensionTravel).value;
        s.shockVel[c] = readFloat(row, vel, newest, lim::kSuspensionVelocity).value;
    }
    for (int c = 0; c < kCornerCount; ++c)
        s.rumblePitch[c] = readFloat(row, v.rumblePitch[c], 0, lim::kRumblePitch).value;
    s.rpm = readFloat(row, v.rpm, 0, lim::kEngineRpm).value;
    s.throttle = readFloat(row, v.throttle, 0, lim::kPedal).value;
    s.brake = readFloat(row, v.brake, 0, lim::kPedal).value;
    s.gear = readInt(row, v.gear, 0);
    s.speed = readFloat(row, v.speed, 0, lim::kSpeed).value;
    const TelemetryReading yawRate = readFloat(row, v.yawRate, 0, lim::kRotationRate);
    s.yawRate = yawRate.value;
    s.hasYawRate = yawRate.present;
    s.onTrack = readBool(row, v.onTrack, 0);
    s.inGarage = readBool(row, v.inGarage, 0);
    s.absActive = readBool(row, v.absActive, 0);
    s.latAccel = readFloat(row, v.latAccel, 0, lim::kAcceleration).value;
    s.longAccel = readFloat(row, v.longAccel, 0, lim::kAcceleration).value;
    s.steerAngle = readFloat(row, v.steerAngle, 0, lim::kSteering).value;
    const TelemetryReading localVelY = readFloat(row, v.velocityY, 0, lim::kSpeed);
    s.localVelY = localVelY.value;
    s.hasLocalVelY = localVelY.present;
    s.complete = m_rowComplete;
    if (m_readFaulted)
        return false;
    m_sample = s;
    m_lastTickCount = tick;
    return true;
}

bool IRacingHapticEngine::update(const EffectProfile& fx, HapticFrame& out) {
    const uint64_t now = m_clock->nowMs();
    if (readTelemetry()) {
        m_lastRowMs = now;
        m_stalled = false;
        computeHapticFrame(m_sample, m_slip, fx, out);
        return true;
    }
    if (!m_stalled && m_map.isOpen() && now - m_lastRowMs > kStallMs && isConnected()) {
        m_stalled = true;
        out = HapticFrame{};
        return true;
    }
    return false;
}

void IRacingHapticEngine::drawDashboardHeader(IConsole& console, bool audioActive, int channels,
                                              const EffectProfile& fx) {
    (void)fx;
    drawIRacingDashboardHeader(console, audioActive, channels, m_is360Hz);
}

void IRacingHapticEngine::drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx,
                                        int updatesPerSecond, float secondsSinceShift) {
    drawIRacingDashboard(console, m_sample, shown, fx, updatesPerSecond, secondsSinceShift);
}

bool IRacingHapticEngine::writeCsvHeader(std::string& out) {
    out += IRacingCsvFormatter::header();
    return true;
}

bool IRacingHapticEngine::writeCsvRow(std::string& out) {
    // The stall's idle frame is no sample: a row would repeat the last one.
    if (m_stalled)
        return false;
    return m_csv.appendRow(m_sample, out);
}

}  // namespace qv
