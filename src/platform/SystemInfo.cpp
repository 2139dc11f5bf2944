#include "platform/SystemInfo.h"

#include <sys/utsname.h>

namespace qv {

std::string systemDescription() {
    struct utsname names {};
    if (uname(&names) != 0)
        return "unknown";
    std::string text = names.sysname;
    for (const char* part : {names.release, names.version, names.machine}) {
        if (part[0] != '\0') {
            text += ' ';
            text += part;
        }
    }
    return text;
}

}  // namespace qv
