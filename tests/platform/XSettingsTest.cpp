// The XSETTINGS reader over property bytes as a settings daemon writes them
// (either byte order), and over bytes no daemon would write.

#include "platform/XSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// Writes a property the way the protocol lays it out.
class Property {
public:
    explicit Property(bool bigEndian) : m_big(bigEndian) {
        m_bytes = {static_cast<uint8_t>(bigEndian ? 1 : 0), 0, 0, 0};
        card32(7);  // serial
        card32(0);  // count, set by finish()
    }
    Property& integer(const std::string& name, int32_t value) {
        header(0, name);
        card32(static_cast<uint32_t>(value));
        ++m_count;
        return *this;
    }
    Property& string(const std::string& name, const std::string& value) {
        header(1, name);
        card32(static_cast<uint32_t>(value.size()));
        padded(value);
        ++m_count;
        return *this;
    }
    Property& color(const std::string& name) {
        header(2, name);
        for (int i = 0; i < 8; ++i)
            m_bytes.push_back(0xFF);
        ++m_count;
        return *this;
    }
    std::vector<uint8_t> finish(uint32_t count) {
        std::vector<uint8_t> out = m_bytes;
        put32(out, 8, count);
        return out;
    }
    std::vector<uint8_t> finish() { return finish(m_count); }

private:
    void header(uint8_t type, const std::string& name) {
        m_bytes.push_back(type);
        m_bytes.push_back(0);
        const uint16_t n = static_cast<uint16_t>(name.size());
        if (m_big) {
            m_bytes.push_back(static_cast<uint8_t>(n >> 8));
            m_bytes.push_back(static_cast<uint8_t>(n));
        } else {
            m_bytes.push_back(static_cast<uint8_t>(n));
            m_bytes.push_back(static_cast<uint8_t>(n >> 8));
        }
        padded(name);
        card32(3);  // last-change serial
    }
    void padded(const std::string& text) {
        m_bytes.insert(m_bytes.end(), text.begin(), text.end());
        while (m_bytes.size() % 4)
            m_bytes.push_back(0);
    }
    void card32(uint32_t v) {
        m_bytes.resize(m_bytes.size() + 4);
        put32(m_bytes, m_bytes.size() - 4, v);
    }
    void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) const {
        for (int i = 0; i < 4; ++i)
            out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (m_big ? 24 - 8 * i : 8 * i));
    }
    bool m_big;
    uint32_t m_count = 0;
    std::vector<uint8_t> m_bytes;
};

std::optional<int32_t> read(const std::vector<uint8_t>& bytes, const char* name) {
    return xsettingsInteger(bytes.data(), bytes.size(), name);
}

TEST(XSettingsTest, FindsAnIntegerPastStringsAndColoursInEitherByteOrder) {
    for (bool big : {false, true}) {
        const std::vector<uint8_t> bytes = Property(big)
                                               .string("Net/ThemeName", "Adwaita")
                                               .color("Gtk/Colour")
                                               .integer("Xft/DPI", 98304)
                                               .integer("Net/DoubleClickTime", 400)
                                               .finish();
        EXPECT_EQ(read(bytes, "Net/DoubleClickTime"), 400) << big;
        EXPECT_EQ(read(bytes, "Xft/DPI"), 98304) << big;
        EXPECT_EQ(read(bytes, "Net/ThemeName"), std::nullopt) << "a string is not an integer";
        EXPECT_EQ(read(bytes, "Net/Missing"), std::nullopt);
    }
}

TEST(XSettingsTest, BytesNoDaemonWouldWriteGiveNothing) {
    const std::vector<uint8_t> good = Property(false).string("A", "xyz").integer("Net/DoubleClickTime", 400).finish();
    // Cut anywhere before the value's end.
    for (size_t size = 0; size < good.size(); ++size)
        EXPECT_EQ(xsettingsInteger(good.data(), size, "Net/DoubleClickTime"), std::nullopt) << size;
    // A count beyond the settings present, an unknown byte order or type.
    EXPECT_EQ(read(Property(false).finish(1000000), "Net/DoubleClickTime"), std::nullopt);
    std::vector<uint8_t> order = good;
    order[0] = 2;
    EXPECT_EQ(read(order, "Net/DoubleClickTime"), std::nullopt);
    std::vector<uint8_t> type = good;
    type[12] = 9;
    EXPECT_EQ(read(type, "Net/DoubleClickTime"), std::nullopt);
    // A string length past the end, or one that wraps when padded.
    for (uint32_t length : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<uint8_t> bad = good;
        for (int i = 0; i < 4; ++i)
            bad[24 + static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
        EXPECT_EQ(read(bad, "Net/DoubleClickTime"), std::nullopt) << length;
    }
    EXPECT_EQ(xsettingsInteger(nullptr, 100, "Net/DoubleClickTime"), std::nullopt);
}

}  // namespace
}  // namespace qv
