#include "settings/SettingsFiles.h"

#include "platform/Files.h"
#include "settings/ConfigIni.h"
#include "settings/ProfileFile.h"
#include "settings/ProfileName.h"

namespace qv {

namespace {

void addProblem(std::string& problems, const std::string& text) {
    if (!problems.empty())
        problems += "; ";
    problems += text;
}

bool namesDevice(const HapticSettings& s) { return s.audioDeviceIndex >= 0 || s.devices[0].name[0] != '\0'; }

bool finish(const std::string& problems, std::string* error) {
    if (error)
        *error = problems;
    return problems.empty();
}

// A profile that exists but does not load is kept as it is; a copy beside
// it keeps the user's text safe from the routine saves that follow.
void keepBrokenProfile(const std::string& path, const std::string& why, std::string& problems) {
    std::string text;
    std::string readError;
    std::string copyError;
    if (readRegularFile(path, text, kMaxSettingsFileBytes, &readError) == FileReadStatus::kOk &&
        writeFileAtomically(path + ".bad", text, &copyError)) {
        addProblem(problems, why + " (the file was left as it is; a copy was kept as " + path + ".bad)");
    } else {
        addProblem(problems, why + " (the file was left as it is)");
    }
}

}  // namespace

bool loadConfigWithBackup(HapticSettings& settings, const std::string& iniPath, const std::string& base,
                          std::string* error) {
    std::string problems;
    std::string why;

    const FileReadStatus main = readConfigIni(settings, iniPath, &why);
    if (main != FileReadStatus::kOk && main != FileReadStatus::kMissing)
        addProblem(problems, why);

    if (!namesDevice(settings)) {
        const std::string backupPath = iniPath + kConfigBackupSuffix;
        HapticSettings backup;
        const FileReadStatus status = readConfigIni(backup, backupPath, &why);
        if (status == FileReadStatus::kOk && namesDevice(backup)) {
            settings = backup;
            if (!writeConfigIni(settings, iniPath, &why))
                addProblem(problems, why);
        } else if (status != FileReadStatus::kOk && status != FileReadStatus::kMissing) {
            addProblem(problems, why);
        }
    }

    for (int sim = 0; sim < kSimCount; ++sim) {
        if (!isValidProfileName(textOf(settings.activeProfile[sim])))
            copyText(settings.activeProfile[sim], kDefaultProfileName);
        const std::string name(textOf(settings.activeProfile[sim]));
        FileReadStatus status = FileReadStatus::kError;
        if (loadProfile(settings, base, sim, name, &why, &status))
            continue;
        if (status == FileReadStatus::kMissing) {
            if (!saveProfile(settings, base, sim, name, &why))
                addProblem(problems, why);
            continue;
        }
        std::string path;
        profilePath(base, sim, name, path);
        keepBrokenProfile(path, why, problems);
    }
    return finish(problems, error);
}

bool saveAllSettings(const HapticSettings& settings, const std::string& iniPath, const std::string& base,
                     std::string* error) {
    std::string problems;
    std::string why;
    if (!writeConfigIni(settings, iniPath, &why))
        addProblem(problems, why);
    for (int sim = 0; sim < kSimCount; ++sim) {
        const std::string name(textOf(settings.activeProfile[sim]));
        if (!saveProfile(settings, base, sim, name, &why))
            addProblem(problems, std::string(kSimKeys[sim]) + " profile \"" + name + "\": " + why);
    }
    return finish(problems, error);
}

}  // namespace qv
