// Any bytes through the UTF-8 repair and the field copy: the results must be
// valid UTF-8, and cuts must land on character boundaries.

#include "platform/graphics/Utf8.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string out;
    qv::sanitizeUtf8(input, out);
    if (!qv::isWellFormedUtf8(out))
        std::abort();
    if (qv::isWellFormedUtf8(input) && out != input)
        std::abort();
    for (size_t limit = 0; limit <= out.size() && limit < 16; ++limit) {
        const size_t cut = qv::utf8CutPosition(out, limit);
        if (cut > limit || !qv::isWellFormedUtf8(std::string_view(out).substr(0, cut)))
            std::abort();
    }
    char field[8];
    const size_t copied = qv::copyUtf8Truncated(field, sizeof field, out.c_str());
    if (copied >= sizeof field || field[copied] != '\0' || !qv::isWellFormedUtf8(std::string_view(field, copied)))
        std::abort();
    return 0;
}
