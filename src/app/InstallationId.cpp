#include "app/InstallationId.h"

#include "platform/Files.h"

#include <cstdio>
#include <random>

namespace qv {

namespace {

bool isLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

bool isInstallationId(const std::string& text) {
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !isLowerHex(text[i]))
            return false;
    }
    return text[14] == '4' && (text[19] == '8' || text[19] == '9' || text[19] == 'a' || text[19] == 'b');
}

bool makeInstallationId(std::string& id, std::string& error) {
    unsigned char bytes[16];
    try {
        std::random_device source;
        for (size_t i = 0; i < sizeof bytes; i += 4) {
            const unsigned int value = source();
            for (size_t k = 0; k < 4; ++k)
                bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
        }
    } catch (const std::exception& e) {
        error = std::string("random source: ") + e.what();
        return false;
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // variant 1
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    id = text;
    return true;
}

bool loadOrCreateInstallationId(const std::string& folder, std::string& id, std::string& error) {
    const std::string path = folder + kInstallationIdFile;
    // An identifier is 37 bytes with its line feed; a larger file holds none.
    constexpr size_t kMaxBytes = 4096;
    std::string text;
    std::string readError;
    switch (readRegularFile(path, text, kMaxBytes, &readError)) {
    case FileReadStatus::kOk:
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        if (isInstallationId(text)) {
            id = text;
            return true;
        }
        break;
    case FileReadStatus::kNotRegular:
        // A pipe there would block whoever opens it; a folder or device is
        // not ours to replace. Left as it is, like any settings file.
        error = readError + "; it was left as it is";
        return false;
    case FileReadStatus::kMissing:
    case FileReadStatus::kTooLarge:
    case FileReadStatus::kError:
        break;  // no identifier there: a new one replaces the file
    }
    std::string fresh;
    if (!makeInstallationId(fresh, error))
        return false;
    // Written beside the final name and renamed over it, so a crash never
    // leaves half an identifier behind.
    std::string writeError;
    if (!writeFileAtomically(path, fresh + "\n", &writeError)) {
        error = writeError;
        return false;
    }
    id = fresh;
    return true;
}

}  // namespace qv
