#include "platform/XSettings.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

namespace qv {

namespace {

constexpr long kMaxPropertyBytes = 64 * 1024;

// A cursor over the property's bytes in the byte order it names.
class Reader {
public:
    Reader(const uint8_t* data, size_t size, bool bigEndian) : m_data(data), m_size(size), m_bigEndian(bigEndian) {}
    bool skip(size_t count) {
        if (count > m_size - m_at)
            return false;
        m_at += count;
        return true;
    }
    bool card8(uint8_t& out) {
        if (m_size - m_at < 1)
            return false;
        out = m_data[m_at++];
        return true;
    }
    bool card16(uint16_t& out) {
        if (m_size - m_at < 2)
            return false;
        const uint8_t a = m_data[m_at], b = m_data[m_at + 1];
        out = m_bigEndian ? static_cast<uint16_t>(a << 8 | b) : static_cast<uint16_t>(b << 8 | a);
        m_at += 2;
        return true;
    }
    bool card32(uint32_t& out) {
        if (m_size - m_at < 4)
            return false;
        const uint8_t* p = m_data + m_at;
        out = m_bigEndian ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                          : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
        m_at += 4;
        return true;
    }
    // `count` bytes followed by padding to a multiple of four.
    bool padded(size_t count, std::string_view* out) {
        const size_t whole = (count + 3) & ~size_t(3);
        if (whole < count || whole > m_size - m_at)
            return false;
        if (out)
            *out = std::string_view(reinterpret_cast<const char*>(m_data + m_at), count);
        m_at += whole;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
    bool m_bigEndian;
};

enum : uint8_t { kTypeInteger = 0, kTypeString = 1, kTypeColor = 2 };

int ignoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

std::optional<int32_t> xsettingsInteger(const uint8_t* data, size_t size, std::string_view name) {
    if (!data || size < 12 || (data[0] != 0 && data[0] != 1))
        return std::nullopt;
    Reader in(data, size, data[0] == 1);  // MSBFirst = 1
    uint32_t serial = 0, count = 0;
    if (!in.skip(4) || !in.card32(serial) || !in.card32(count))
        return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t type = 0;
        uint16_t nameLength = 0;
        std::string_view settingName;
        uint32_t lastChange = 0;
        if (!in.card8(type) || !in.skip(1) || !in.card16(nameLength) || !in.padded(nameLength, &settingName) ||
            !in.card32(lastChange))
            return std::nullopt;
        switch (type) {
        case kTypeInteger: {
            uint32_t value = 0;
            if (!in.card32(value))
                return std::nullopt;
            if (settingName == name)
                return static_cast<int32_t>(value);
            break;
        }
        case kTypeString: {
            uint32_t length = 0;
            if (!in.card32(length) || !in.padded(length, nullptr))
                return std::nullopt;
            if (settingName == name)
                return std::nullopt;
            break;
        }
        case kTypeColor:
            if (!in.skip(8))
                return std::nullopt;
            if (settingName == name)
                return std::nullopt;
            break;
        default:
            return std::nullopt;  // the rest cannot be found
        }
    }
    return std::nullopt;
}

std::optional<int32_t> desktopXSettingInteger(std::string_view name) {
    const char* displayName = std::getenv("DISPLAY");
    if (!displayName || !*displayName)
        return std::nullopt;
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return std::nullopt;
    // The daemon's window may go away between the look-up and the read; that
    // is no reason to end the program. The handler is the process's, so the
    // one in place before is put back.
    const XErrorHandler previous = XSetErrorHandler(ignoreErrors);
    std::optional<int32_t> result;
    const std::string selection = "_XSETTINGS_S" + std::to_string(DefaultScreen(display));
    const Window owner = XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False));
    if (owner != 0) {
        const Atom property = XInternAtom(display, "_XSETTINGS_SETTINGS", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* bytes = nullptr;
        if (XGetWindowProperty(display, owner, property, 0, kMaxPropertyBytes / 4, False, AnyPropertyType, &type,
                               &format, &items, &after, &bytes) == Success &&
            bytes && format == 8 && type == property)
            result = xsettingsInteger(bytes, items, name);
        if (bytes)
            XFree(bytes);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return result;
}

std::optional<int> desktopDoubleClickMs() {
    const std::optional<int32_t> ms = desktopXSettingInteger("Net/DoubleClickTime");
    if (!ms || *ms < 100 || *ms > 2000)
        return std::nullopt;
    return *ms;
}

}  // namespace qv
