#include "platform/PrintableText.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(PrintableText, ControlCharactersBecomeQuestionMarks) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"0.7.0", "0.7.0"},
        {"\x1b]0;owned\x07\x1b[2J1.0", "?]0;owned??[2J1.0"},  // retitle and clear
        {"a\nb\r\tc", "a?b??c"},
        {std::string("nul\0x", 5), "nul?x"},
        {"del\x7f", "del?"},
        {"csi\xc2\x9b" "2J", "csi?2J"},  // the one-byte CSI of C1, as UTF-8
        {"caf\xc3\xa9 \xc2\xa0ok", "caf\xc3\xa9 \xc2\xa0ok"},  // other text is kept
        {"cut\xc2", "cut\xc2"},
        {"v\xe2\x80\xae" "1.0\xe2\x81\xa9\xe2\x80\x8f\xd8\x9c", "v?1.0???"},  // bidirectional overrides and marks
        {"\xe2\x80\x94 \xe2\x81\xb0", "\xe2\x80\x94 \xe2\x81\xb0"},  // their neighbours are text
    };
    for (const Case& c : cases)
        EXPECT_EQ(printableText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace qv
