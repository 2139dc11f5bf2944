#include "settings/ProfileFile.h"

#include "platform/Folders.h"
#include "settings/HeldFiles.h"
#include "settings/JsonText.h"
#include "settings/NumberText.h"
#include "settings/ProfileName.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {

namespace {

using Json = nlohmann::json;  // std::map underneath: members come out sorted by key

bool fail(std::string* error, const std::string& text) {
    if (error)
        *error = text;
    return false;
}

// A file value for a float field. Non-finite values never reach a file from
// here (they would be written as null and break every later load).
double fileNumber(float value) { return std::isfinite(value) ? static_cast<double>(value) : 0.0; }

// The number a member holds (a boolean counts as 0 or 1); false for any other type.
bool numberOf(const Json& value, double& out) {
    if (value.is_number()) {
        out = value.get<double>();
        return true;
    }
    if (value.is_boolean()) {
        out = value.get<bool>() ? 1.0 : 0.0;
        return true;
    }
    return false;
}

bool fitsFloat(double value) {
    return std::isfinite(value) && std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max());
}

// Applies a number to a float field: unchanged when it does not fit a float,
// else clamped into [low, high]; a value too small to be a normal float is 0
// (denormals cost the synthesis dearly and mean nothing).
void applyFloat(float& field, double value, double low, double high) {
    if (!fitsFloat(value))
        return;
    const float clamped = static_cast<float>(std::clamp(value, low, high));
    field = std::fabs(clamped) < std::numeric_limits<float>::min() ? 0.0f : clamped;
}

struct FloatMember {
    const char* key;
    float EffectProfile::*field;
    double low;
    double high;
};

// The levels and frequencies in the order the reader applies them.
constexpr FloatMember kLevels[] = {
    {"roadVibration", &EffectProfile::roadVibration, 0.0, 1.0},
    {"suspImpact", &EffectProfile::suspImpact, 0.0, 1.0},
    {"kerbRumble", &EffectProfile::kerbRumble, 0.0, 1.0},
    {"engineRumble", &EffectProfile::engineRumble, 0.0, 1.0},
    {"absLock", &EffectProfile::absLock, 0.0, 1.0},
    {"gearChangeIntensity", &EffectProfile::gearChangeIntensity, 0.0, 1.0},
    {"gearChangeDuration", &EffectProfile::gearChangeDuration, 0.0, 1.0},
    {"wheelSlipSensitivity", &EffectProfile::wheelSlipSensitivity, 0.0, 1.0},
};

constexpr FloatMember kFrequencies[] = {
    {"freqRoadVib", &EffectProfile::freqRoadVib, kMinEffectFrequency, kMaxEffectFrequency},
    {"freqSuspImp", &EffectProfile::freqSuspImp, kMinEffectFrequency, kMaxEffectFrequency},
    {"freqKerb", &EffectProfile::freqKerb, kMinEffectFrequency, kMaxEffectFrequency},
    {"freqEngine", &EffectProfile::freqEngine, kMinEffectFrequency, kMaxEffectFrequency},
    {"freqAbsLock", &EffectProfile::freqAbsLock, kMinEffectFrequency, kMaxEffectFrequency},
    {"freqGear", &EffectProfile::freqGear, kMinEffectFrequency, kMaxEffectFrequency},
    {"freqWheelSlip", &EffectProfile::freqWheelSlip, kMinEffectFrequency, kMaxEffectFrequency},
};

bool readFloatMember(const Json& root, const FloatMember& member, EffectProfile& profile, std::string* error) {
    const auto it = root.find(member.key);
    if (it == root.end())
        return true;
    double value = 0.0;
    if (!numberOf(*it, value))
        return fail(error, std::string("\"") + member.key + "\" is not a number");
    applyFloat(profile.*member.field, value, member.low, member.high);
    return true;
}

bool readRoutes(const Json& root, EffectProfile& profile, std::string* error) {
    const auto gains = root.find("routeGain");
    const bool useGains = gains != root.end() && gains->is_array();
    const auto legacy = root.find("routeMatrix");
    if (!useGains && (legacy == root.end() || !legacy->is_array()))
        return true;
    const Json& rows = useGains ? *gains : *legacy;
    const size_t rowCount = std::min(rows.size(), static_cast<size_t>(kEffectCount));
    for (size_t r = 0; r < rowCount; ++r) {
        const Json& row = rows[r];
        if (!row.is_array())
            continue;
        const size_t columns = std::min(row.size(), static_cast<size_t>(kMaxZones));
        for (size_t c = 0; c < columns; ++c) {
            const Json& cell = row[c];
            if (useGains) {
                double value = 0.0;
                if (!numberOf(cell, value))
                    return fail(error, "\"routeGain\" holds a value that is not a number");
                applyFloat(profile.routeGain[r][c], value, 0.0, 1.0);
            } else {
                if (!cell.is_boolean())
                    return fail(error, "\"routeMatrix\" holds a value that is not true or false");
                profile.routeGain[r][c] = cell.get<bool>() ? 1.0f : 0.0f;
            }
        }
    }
    return true;
}

// Applies the members in their fixed order, each as soon as it is read.
bool applyProfileMembers(const Json& root, EffectProfile& profile, std::string* error) {
    for (const FloatMember& member : kLevels) {
        if (!readFloatMember(root, member, profile, error))
            return false;
    }
    if (const auto it = root.find("wheelSlipThreshold"); it != root.end()) {
        double value = 0.0;
        if (!numberOf(*it, value))
            return fail(error, "\"wheelSlipThreshold\" is not a number");
        if (std::isfinite(value))
            profile.wheelSlipThreshold = clampToInt(value, 1, 100);
    }
    for (const FloatMember& member : kFrequencies) {
        if (!readFloatMember(root, member, profile, error))
            return false;
    }
    if (const auto it = root.find("suspDualBand"); it != root.end()) {
        if (!it->is_boolean())
            return fail(error, "\"suspDualBand\" is not true or false");
        profile.suspDualBand = it->get<bool>() ? 1 : 0;
    }
    if (const auto it = root.find("effectEnabled"); it != root.end() && it->is_array()) {
        const size_t count = std::min(it->size(), static_cast<size_t>(kEffectCount));
        for (size_t e = 0; e < count; ++e) {
            const Json& flag = (*it)[e];
            if (!flag.is_boolean())
                return fail(error, "\"effectEnabled\" holds a value that is not true or false");
            profile.effectEnabled[e] = flag.get<bool>() ? 1 : 0;
        }
    }
    return readRoutes(root, profile, error);
}

}  // namespace

const char* simKeyOf(int sim) { return isValidSimIndex(sim) ? kSimKeys[sim] : "unknown"; }

bool profilePath(const std::string& base, int sim, std::string_view name, std::string& path, std::string* error) {
    path.clear();
    std::string why;
    if (!isValidProfileName(name, &why))
        return fail(error, "invalid profile name: " + why);
    path = base + "profiles/" + simKeyOf(sim) + "/" + std::string(name) + ".json";
    return true;
}

bool profilesFolder(const std::string& base, std::string* error) {
    bool ok = true;
    for (const char* key : kSimKeys) {
        std::string why;
        if (!makeFolders(base + "profiles/" + key, &why)) {
            if (ok && error)
                *error = why;
            ok = false;
        }
    }
    return ok;
}

std::string profileJsonText(const EffectProfile& p, int sim, std::string_view name) {
    Json root = Json::object();
    root["version"] = kProfileFileVersion;
    root["sim"] = simKeyOf(sim);
    root["name"] = std::string(name);
    for (const FloatMember& member : kLevels)
        root[member.key] = fileNumber(p.*member.field);
    root["wheelSlipThreshold"] = p.wheelSlipThreshold;
    for (const FloatMember& member : kFrequencies)
        root[member.key] = fileNumber(p.*member.field);
    root["suspDualBand"] = p.suspDualBand != 0;
    Json enabled = Json::array();
    for (uint8_t flag : p.effectEnabled)
        enabled.push_back(flag != 0);
    root["effectEnabled"] = std::move(enabled);
    Json routes = Json::array();
    for (const auto& row : p.routeGain) {
        Json cells = Json::array();
        for (float gain : row)
            cells.push_back(fileNumber(gain));
        routes.push_back(std::move(cells));
    }
    root["routeGain"] = std::move(routes);
    // A name that is not valid UTF-8 would make the serialiser throw; its bad
    // bytes become U+FFFD instead.
    return root.dump(2, ' ', false, Json::error_handler_t::replace);
}

bool applyProfileJson(EffectProfile& profile, const Json& root, std::string* error) {
    if (!root.is_object())
        return fail(error, "not a profile file: it holds no JSON object");
    return applyProfileMembers(root, profile, error);
}

bool readProfileText(EffectProfile& profile, std::string_view text, std::string* error, ProfileRoot rootRule) {
    Json root;
    // Not strict: the parser stops after the first complete value; what
    // follows it is not examined.
    std::string why;
    if (!parseJsonText(text, root, error ? &why : nullptr, JsonTrailingText::kIgnored))
        return fail(error, "not a profile file: " + why);
    if (!root.is_object() && rootRule == ProfileRoot::kAnyValue)
        return true;
    return applyProfileJson(profile, root, error);
}

bool loadProfileFile(EffectProfile& profile, const std::string& path, std::string* error, FileReadStatus* status) {
    std::string text;
    const FileReadStatus read = readRegularFile(path, text, kMaxSettingsFileBytes, error);
    if (status)
        *status = read;
    if (read != FileReadStatus::kOk)
        return false;
    std::string why;
    if (!readProfileText(profile, text, &why))
        return fail(error, path + ": " + why);
    return true;
}

bool saveProfile(const HapticSettings& settings, const std::string& base, int sim, std::string_view name,
                 std::string* error) {
    if (!isValidSimIndex(sim))
        return fail(error, "saving a profile: unknown simulator " + std::to_string(sim));
    std::string path;
    if (!profilePath(base, sim, name, path, error))
        return false;
    if (isHeldFromWriting(path))
        return fail(error, heldFileError(path));
    // All simulator folders, as the profile dialogs expect them; only the
    // one this profile goes into must exist for the save to go on.
    profilesFolder(base);
    if (!makeFolders(base + "profiles/" + kSimKeys[sim], error))
        return false;
    return writeFileAtomically(path, profileJsonText(settings.effectProfiles[sim], sim, name), error);
}

bool loadProfile(HapticSettings& settings, const std::string& base, int sim, std::string_view name,
                 std::string* error, FileReadStatus* status) {
    if (status)
        *status = FileReadStatus::kError;
    if (!isValidSimIndex(sim))
        return fail(error, "loading a profile: unknown simulator " + std::to_string(sim));
    std::string path;
    if (!profilePath(base, sim, name, path, error))
        return false;
    return loadProfileFile(settings.effectProfiles[sim], path, error, status);
}

bool profileNameLess(const std::string& a, const std::string& b) {
    if (a == b)
        return false;
    if (a == kDefaultProfileName)
        return true;
    if (b == kDefaultProfileName)
        return false;
    return a < b;
}

std::vector<std::string> enumerateProfiles(const std::string& base, int sim) {
    std::vector<std::string> names;
    if (!isValidSimIndex(sim))
        return names;
    std::vector<std::string> files;
    if (!listRegularFiles(base + "profiles/" + kSimKeys[sim], files))
        return names;
    constexpr std::string_view kSuffix = ".json";
    for (const std::string& file : files) {
        if (file.size() < kSuffix.size() + 1 || file.compare(file.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            continue;
        std::string name = file.substr(0, file.size() - kSuffix.size());
        // A file whose name could not be loaded back is not offered.
        if (isValidProfileName(name))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end(), profileNameLess);
    return names;
}

}  // namespace qv
