#include "app/InstallationId.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
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
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            char buffer[64] = {};
            in.read(buffer, sizeof buffer - 1);
            std::string text(buffer, static_cast<size_t>(in.gcount()));
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
                text.pop_back();
            if (isInstallationId(text)) {
                id = text;
                return true;
            }
        }
    }
    std::string fresh;
    if (!makeInstallationId(fresh, error))
        return false;
    // Written beside the final name and renamed over it, so a crash never
    // leaves half an identifier behind.
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << fresh << '\n';
        out.flush();
        if (!out) {
            error = "cannot write " + temporary;
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        error = "cannot rename " + temporary + " to " + path + ": " + ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    id = fresh;
    return true;
}

}  // namespace qv
