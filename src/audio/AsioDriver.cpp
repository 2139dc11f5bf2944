#include "audio/AsioDriver.h"

namespace qv {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on anything else.
bool readHex(const std::string& text, size_t pos, int digits, uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = hexValue(text[pos + static_cast<size_t>(i)]);
        if (v < 0)
            return false;
        value = value << 4 | static_cast<uint64_t>(v);
    }
    return true;
}

class NoComDriverFactory : public IAsioDriverFactory {
public:
    AsioResult initialiseCom() override { return 0; }
    void uninitialiseCom() override {}
    AsioResult createDriver(const AsioClassId&, AsioDriverPtr& driver) override {
        driver.reset();
        return kClassNotRegistered;
    }
    void* foregroundWindow() override { return nullptr; }
};

}  // namespace

bool parseAsioClassId(const std::string& text, AsioClassId& id) {
    // {01234567-89ab-cdef-0123-456789abcdef}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return false;
    uint64_t v1, v2, v3, v4, v5;
    if (!readHex(text, 1, 8, v1) || !readHex(text, 10, 4, v2) || !readHex(text, 15, 4, v3) ||
        !readHex(text, 20, 4, v4) || !readHex(text, 25, 12, v5))
        return false;
    id.data1 = static_cast<uint32_t>(v1);
    id.data2 = static_cast<uint16_t>(v2);
    id.data3 = static_cast<uint16_t>(v3);
    id.data4[0] = static_cast<uint8_t>(v4 >> 8);
    id.data4[1] = static_cast<uint8_t>(v4);
    for (int i = 0; i < 6; ++i)
        id.data4[2 + i] = static_cast<uint8_t>(v5 >> (8 * (5 - i)));
    return true;
}

IAsioDriverFactory& systemAsioDriverFactory() {
    static NoComDriverFactory factory;
    return factory;
}

}  // namespace qv
