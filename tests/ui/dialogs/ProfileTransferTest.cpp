// Names and texts from outside made safe, and the catalogue's replies.

#include "ui/dialogs/CommunityCatalogue.h"
#include "ui/dialogs/ProfileTransfer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace qv {
namespace {

TEST(ProfileTransferTest, OutsideNamesAreCleanedIntoSafeProfileNamesOrRefused) {
    struct Case {
        std::string raw, expected;
    } cases[] = {
        {"Wet Setup", "Wet Setup"},
        {"../../x", "_.._x"},
        {"/abs", "_abs"},
        {"a/b", "a_b"},
        {"a\\b", "a_b"},
        {"..", ""},
        {".", ""},
        {"", ""},
        {"line\nbreak", "line_break"},
        {std::string("nul\0byte", 8), "nul_byte"},
        {std::string(300, 'n'), std::string(63, 'n')},
        {std::string(62, 'n') + "\xc3\xa9", std::string(62, 'n')},  // cut before a character, not inside it
        {"bad\xff", "bad\xef\xbf\xbd"},
        {"default", "default"},
        {" padded. ", "padded"},
        {".hidden", "hidden"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cleanOutsideProfileName(c.raw), c.expected) << c.raw;
}

TEST(ProfileTransferTest, ServerTextIsValidPrintableAndCutBetweenCharacters) {
    EXPECT_EQ(cleanServerText("a\x01" "b\nc\x7f" "d", 100), "ab cd");
    EXPECT_EQ(cleanServerText("\xc2\x85x", 100), "x") << "C1 controls go too";
    EXPECT_EQ(cleanServerText("\xe2\x82\xac\xe2\x82\xac", 4), "\xe2\x82\xac");
    EXPECT_EQ(cleanServerText("ok\xc3", 100), "ok\xef\xbf\xbd");
}

TEST(ProfileTransferTest, ImportedFilesAreNamedAfterTheirLastComponentWithoutTheExtension) {
    EXPECT_EQ(importedProfileName("/home/u/my.v2.qvprofile"), "my.v2");
    EXPECT_EQ(importedProfileName("/home/u/plain"), "plain");
    EXPECT_EQ(importedProfileName("/home/u.d/plain"), "plain");
    EXPECT_EQ(importedProfileName("rel.qvprofile"), "rel");
}

TEST(CommunityCatalogueTest, EntryRepliesTakeTheInnerProfileWhenThereIsOne) {
    nlohmann::json profile;
    ASSERT_TRUE(parseCatalogueEntry(R"({"profile": {"roadVibration": 0.5}})", profile));
    EXPECT_EQ(profile["roadVibration"], 0.5);
    ASSERT_TRUE(parseCatalogueEntry(R"({"profile": {"profile": {"kerbRumble": 0.2}, "id": "x"}})", profile));
    EXPECT_EQ(profile.size(), 1u);
    EXPECT_FALSE(parseCatalogueEntry(R"({"profile": [1]})", profile));
    EXPECT_FALSE(parseCatalogueEntry(R"([{"profile": {}}])", profile));
}

TEST(CommunityCatalogueTest, DownloadCountsAreClampedNumbers) {
    std::vector<CommunityProfileEntry> entries;
    ASSERT_TRUE(parseCatalogueList(
        R"([{"id":"a","name":"A","downloads":1e40},{"id":"b","name":"B","downloads":-5},
            {"id":"c","name":"C","downloads":"9"},{"id":"d","name":"D","downloads":12.7}])",
        entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].downloads, 2147483647);
    EXPECT_EQ(entries[1].downloads, 0);
    EXPECT_EQ(entries[2].downloads, 12);
}

}  // namespace
}  // namespace qv
