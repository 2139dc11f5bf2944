#include "ui/dialogs/ProfileTransfer.h"

#include "platform/PathKind.h"
#include "platform/graphics/Utf8.h"
#include "settings/LiveSettings.h"
#include "settings/ProfileFile.h"
#include "settings/ProfileName.h"
#include "ui/AppMessages.h"
#include "ui/GuiHost.h"
#include "ui/MessageBox.h"
#include "ui/panels/ProfileActions.h"

namespace qv {

namespace {

// Appends the code point as UTF-8.
void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes well-formed UTF-8 (the output of sanitizeUtf8) one code point at a time.
char32_t nextCodePoint(std::string_view text, size_t& i) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    ++i;
    while (extra-- > 0 && i < text.size())
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    return c;
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Text with every NUL kept out of sanitizeUtf8's way (it stops at the first).
std::string validUtf8(std::string_view raw) {
    std::string joined;
    joined.reserve(raw.size());
    for (char c : raw)
        joined += c == '\0' ? '\x01' : c;  // a control character, dropped or replaced later
    std::string out;
    sanitizeUtf8(joined, out);
    return out;
}

std::string trimBlanksAndDots(std::string text) {
    const size_t first = text.find_first_not_of(" .");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" .");
    return text.substr(first, last - first + 1);
}

}  // namespace

int selectedSimOf(const HapticSettings& settings) {
    return isValidSimIndex(settings.selectedSim) ? settings.selectedSim : kIRacing;
}

std::string cleanOutsideProfileName(std::string_view raw) {
    const std::string valid = validUtf8(raw);
    std::string cleaned;
    for (size_t i = 0; i < valid.size();) {
        const char32_t c = nextCodePoint(valid, i);
        appendUtf8(cleaned, (c == '/' || c == '\\' || isControl(c)) ? U'_' : c);
    }
    // Blanks and dots at the ends go too: "../x" became ".._x", and a
    // hidden or padded file name is not what the sender meant.
    cleaned = trimBlanksAndDots(std::move(cleaned));
    cleaned.resize(utf8CutPosition(cleaned, static_cast<size_t>(kMaxProfileNameBytes)));
    cleaned = trimBlanksAndDots(std::move(cleaned));
    return isValidProfileName(cleaned) ? cleaned : std::string();
}

std::string cleanServerText(std::string_view raw, size_t maxBytes) {
    const std::string valid = validUtf8(raw);
    std::string cleaned;
    cleaned.reserve(std::min(valid.size(), maxBytes));
    for (size_t i = 0; i < valid.size() && cleaned.size() < maxBytes + 4;) {
        const char32_t c = nextCodePoint(valid, i);
        if (c == '\n' || c == '\r' || c == '\t')
            cleaned += ' ';
        else if (!isControl(c))
            appendUtf8(cleaned, c);
    }
    cleaned.resize(utf8CutPosition(cleaned, maxBytes));
    return cleaned;
}

std::string importedProfileName(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = file.rfind('.');
    if (dot != std::string_view::npos)
        file = file.substr(0, dot);
    return std::string(file);
}

void reportProfileError(WindowHandle owner, const char* title, const std::string& text) {
    messageBoxes().show(owner, title, text.c_str(), MessageKind::Error);
}

bool confirmProfileTarget(WindowHandle owner, const char* title, const std::string& base, int sim,
                          const std::string& name) {
    std::string path, error;
    if (!profilePath(base, sim, name, path, &error)) {
        reportProfileError(owner, title, "\"" + name + "\" cannot be used as a profile name.\n\n" + error);
        return false;
    }
    switch (pathKindNoFollow(path, &error)) {
    case PathKind::kMissing:
        return true;
    case PathKind::kRegular: {
        const std::string question = "A profile named \"" + name + "\" already exists.\nReplace it?";
        return messageBoxes().askYesNo(owner, title, question.c_str());
    }
    case PathKind::kSymbolicLink:
    case PathKind::kOther:
        reportProfileError(owner, title,
                           "Profile \"" + name + "\" was not written: " + path +
                               " is not a regular file (a link or a folder is in its place).");
        return false;
    case PathKind::kError:
        break;
    }
    reportProfileError(owner, title, "Profile \"" + name + "\" was not written.\n\n" + error);
    return false;
}

void activateProfile(WindowHandle owner, int sim, const std::string& name, const EffectProfile& profile) {
    if (!isValidSimIndex(sim))
        return;
    const HapticSettings current = gSettings.snapshot();
    const std::string outgoing(textOf(current.activeProfile[sim]));
    if (outgoing != name && isValidProfileName(outgoing)) {
        std::string error;
        if (!saveProfile(current, profileBaseFolder(), sim, outgoing, &error))
            reportProfileError(owner, "Save Profile",
                               "The changes to profile \"" + outgoing + "\" could not be saved.\n\n" + error);
    }
    gSettings.edit([&](HapticSettings& s) {
        s.effectProfiles[sim] = profile;
        copyText(s.activeProfile[sim], name.c_str());
    });
    postProfileRefresh(owner);
}

void postProfileRefresh(WindowHandle owner) {
    if (owner)
        postWindowMessage(owner, kMsgRefreshEffects, 0, 0);
    WindowHandle main = gMainWindow.load();
    if (main && main != owner)
        postWindowMessage(main, kMsgRefreshEffects, 0, 0);
}

bool deleteProfileFile(const std::string& base, int sim, const std::string& name, std::string* error) {
    if (!isValidSimIndex(sim) || name == kDefaultProfileName)
        return false;
    std::string path;
    if (!profilePath(base, sim, name, path, error))
        return false;
    return removeFile(path, error);
}

}  // namespace qv
