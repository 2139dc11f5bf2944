#include "platform/graphics/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

std::string sanitized(std::string_view text) {
    std::string out;
    sanitizeUtf8(text, out);
    return out;
}

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8, WellFormedTextIsValidAndPassesUnchanged) {
    for (const std::string& text : {std::string("plain ASCII"), std::string("caf\xC3\xA9"),
                                   std::string("\xE2\x82\xAC 20"), std::string("\xF0\x9F\x8F\x81 flag"),
                                   std::string("")}) {
        EXPECT_TRUE(isWellFormedUtf8(text)) << text;
        EXPECT_EQ(sanitized(text), text);
    }
}

// A malformed sequence (a bad lead byte with the continuation bytes after it)
// becomes one U+FFFD, so a broken character never turns into a run of them.
TEST(Utf8, MalformedSequencesBecomeOneReplacementEach) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"ab\xC3", "ab" + kReplacement},                      // cut after a lead byte
        {"\xE2\x82", kReplacement},                            // cut three-byte character
        {"x\x80y", "x" + kReplacement + "y"},                  // stray continuation byte
        {"\xC0\xAF", kReplacement},                           // overlong slash: C0 is never valid
        {"\xE0\x80\xAFz", kReplacement + "z"},                // overlong: E0 needs A0..BF
        {"\xED\xA0\x80", kReplacement},                       // UTF-16 surrogate
        {"\xF4\x90\x80\x80", kReplacement},                   // above U+10FFFF
        {"\x80\x80\xC3\xA9", kReplacement + "\xC3\xA9"},      // the good character after survives
        {"\xFF", kReplacement},
        {"caf\xC3\xA9\xC3", "caf\xC3\xA9" + kReplacement},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(isWellFormedUtf8(c.input));
        const std::string out = sanitized(c.input);
        EXPECT_EQ(out, c.expected);
        EXPECT_TRUE(isWellFormedUtf8(out));
    }
}

TEST(Utf8, TextEndsAtItsFirstNul) {
    EXPECT_EQ(sanitized(std::string_view("abc\0def", 7)), "abc");
    EXPECT_FALSE(isWellFormedUtf8(std::string_view("a\0", 2)));
}

TEST(Utf8, CutsNeverSplitACharacter) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC";  // a, é (2 bytes), € (3 bytes)
    EXPECT_EQ(utf8CutPosition(text, 10), text.size());
    EXPECT_EQ(utf8CutPosition(text, 3), 3u);
    EXPECT_EQ(utf8CutPosition(text, 2), 1u);  // inside é
    EXPECT_EQ(utf8CutPosition(text, 5), 3u);  // inside €
    EXPECT_EQ(utf8CutPosition(text, 4), 3u);
    EXPECT_EQ(utf8CutPosition(text, 0), 0u);
}

TEST(Utf8, CopyIntoAFieldTruncatesAtACharacterBoundary) {
    char field[4];
    EXPECT_EQ(copyUtf8Truncated(field, sizeof field, "a\xC3\xA9\xC3\xA9"), 3u);
    EXPECT_STREQ(field, "a\xC3\xA9");
    EXPECT_EQ(copyUtf8Truncated(field, sizeof field, "\xE2\x82\xAC\xE2\x82\xAC"), 3u);
    EXPECT_STREQ(field, "\xE2\x82\xAC");
    EXPECT_EQ(copyUtf8Truncated(field, sizeof field, "ab\xE2\x82\xAC"), 2u);
    EXPECT_STREQ(field, "ab");
    EXPECT_EQ(copyUtf8Truncated(field, sizeof field, "abcdef"), 3u);
    EXPECT_STREQ(field, "abc");
    EXPECT_EQ(copyUtf8Truncated(field, sizeof field, nullptr), 0u);
    EXPECT_STREQ(field, "");
    EXPECT_EQ(copyUtf8Truncated(field, 0, "abc"), 0u);
}

TEST(Utf8, CharacterIndicesMapToByteOffsets) {
    const std::string text = "a\xC3\xA9z";
    EXPECT_EQ(utf8CharacterCount(text), 3);
    EXPECT_EQ(utf8ByteOffset(text, 0), 0u);
    EXPECT_EQ(utf8ByteOffset(text, 1), 1u);
    EXPECT_EQ(utf8ByteOffset(text, 2), 3u);
    EXPECT_EQ(utf8ByteOffset(text, 3), 4u);
    EXPECT_EQ(utf8ByteOffset(text, 99), 4u);
    EXPECT_EQ(utf8ByteOffset(text, -5), 0u);
}

}  // namespace
}  // namespace qv
