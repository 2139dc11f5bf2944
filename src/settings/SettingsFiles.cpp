#include "settings/SettingsFiles.h"

#include "platform/Files.h"
#include "settings/ConfigIni.h"
#include "settings/HeldFiles.h"
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

// A settings file that exists but does not load must survive the saves that
// follow: it is moved aside to "<name>.bad" (an older one is kept), so the
// next save writes a fresh file beside it. Something that is not a regular
// file (a pipe, a link to a device) stays where it is, and so does a file
// that cannot be moved: such names are never written by this process.
void keepFailedFile(const std::string& path, FileReadStatus status, const std::string& why, std::string& problems) {
    if (status == FileReadStatus::kNotRegular) {
        holdFromWriting(path);
        addProblem(problems, why + " (it was left as it is and will not be written)");
        return;
    }
    std::string movedTo;
    std::string moveError;
    if (moveAside(path, movedTo, &moveError)) {
        addProblem(problems, why + " (the file was moved aside to " + movedTo + ")");
        return;
    }
    holdFromWriting(path);
    addProblem(problems, why + " (it could not be moved aside: " + moveError + "; it will not be written)");
}

}  // namespace

bool loadConfigWithBackup(HapticSettings& settings, const std::string& iniPath, const std::string& base,
                          std::string* error) {
    std::string problems;
    std::string why;

    // A save killed half-way leaves its temporary file: nobody else cleans up.
    const size_t slash = iniPath.rfind('/');
    removeStaleTemporaryFiles(slash == std::string::npos ? std::string(".") : iniPath.substr(0, slash + 1));
    for (int sim = 0; sim < kSimCount; ++sim)
        removeStaleTemporaryFiles(base + "profiles/" + simKeyOf(sim) + "/");

    const FileReadStatus main = readConfigIni(settings, iniPath, &why);
    if (main != FileReadStatus::kOk && main != FileReadStatus::kMissing)
        keepFailedFile(iniPath, main, why, problems);

    if (!namesDevice(settings)) {
        const std::string backupPath = iniPath + kConfigBackupSuffix;
        HapticSettings backup;
        const FileReadStatus status = readConfigIni(backup, backupPath, &why);
        if (status == FileReadStatus::kOk && namesDevice(backup)) {
            settings = backup;
            if (!isHeldFromWriting(iniPath) && !writeConfigIni(settings, iniPath, &why))
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
        keepFailedFile(path, status, why, problems);
    }
    return finish(problems, error);
}

bool saveAllSettings(const HapticSettings& settings, const std::string& iniPath, const std::string& base,
                     std::string* error) {
    std::string problems;
    std::string why;
    // Held files were reported when they failed to load; they are skipped
    // quietly here.
    if (!isHeldFromWriting(iniPath) && !writeConfigIni(settings, iniPath, &why))
        addProblem(problems, why);
    for (int sim = 0; sim < kSimCount; ++sim) {
        const std::string name(textOf(settings.activeProfile[sim]));
        std::string path;
        if (profilePath(base, sim, name, path) && isHeldFromWriting(path))
            continue;
        if (!saveProfile(settings, base, sim, name, &why))
            addProblem(problems, std::string(kSimKeys[sim]) + " profile \"" + name + "\": " + why);
    }
    return finish(problems, error);
}

}  // namespace qv
