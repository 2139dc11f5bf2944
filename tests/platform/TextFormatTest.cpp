#include "platform/TextFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(TextFormat, TextOfAnyLengthIsNeverCut) {
    // Around the inline buffer's size and far beyond it.
    for (size_t length : {size_t{0}, size_t{1}, size_t{1022}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{70000}}) {
        SCOPED_TRACE(length);
        const std::string body(length, 'q');
        EXPECT_EQ(formatText("<%s>%d", body.c_str(), 7), "<" + body + ">7");
        std::string out = "kept ";
        appendFormat(out, "%s|%.2f", body.c_str(), 1.5);
        EXPECT_EQ(out, "kept " + body + "|1.50");
    }
}

}  // namespace
}  // namespace qv
