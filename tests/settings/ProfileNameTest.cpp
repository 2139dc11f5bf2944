#include "settings/ProfileName.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(ProfileName, AcceptsOrdinaryNames) {
    for (const char* name : {"default", "Wet Nordschleife", "GT3 - night_2", "a", "Zeta", "x.y", "Rüttelstrecke", "赛道",
                             "name.json", "My Setup ", " lead", ".hidden", "trail.", "...", " . "}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(isValidProfileName(name));
    }
    EXPECT_TRUE(isValidProfileName(std::string(63, 'n')));
}

TEST(ProfileName, RejectsNamesThatAreNoSafeFileNames) {
    const std::string cases[] = {
        "",
        std::string(64, 'n'),
        ".",
        "..",
        "../x",
        "a/b",
        "a\\b",
        "/etc/passwd",
        "tab\there",
        "line\nbreak",
        std::string("nul\0byte", 8),
        "del\x7f",
        "c1\xc2\x85",  // U+0085, a C1 control
        "\xff\xfe",
        "\xc3",                  // cut sequence
        "\xc0\xaf",              // overlong "/"
        "\xed\xa0\x80",          // surrogate
        "\xf4\x90\x80\x80",      // above U+10FFFF
    };
    for (const std::string& name : cases) {
        SCOPED_TRACE(testing::PrintToString(name));
        std::string why;
        EXPECT_FALSE(isValidProfileName(name, &why));
        EXPECT_FALSE(why.empty());
    }
}

TEST(ProfileName, Utf8Check) {
    EXPECT_TRUE(isValidUtf8("plain ascii"));
    EXPECT_TRUE(isValidUtf8("\xf0\x9f\x8f\x81"));  // U+1F3C1
    EXPECT_FALSE(isValidUtf8("\xf0\x9f\x8f"));
    EXPECT_FALSE(isValidUtf8("\x80"));
}

}  // namespace
}  // namespace qv
