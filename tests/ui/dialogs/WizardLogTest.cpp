// The wizard's log file: line stamps, the header, cutting an oversized file
// and logging that quietly does nothing when the folder cannot be written.

#include "ui/dialogs/WizardLog.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace qv {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(WizardLogTest, LinesCarryTheSecondsSinceOpeningAndTheRunIsFramed) {
    TempDir dir;
    ManualClock clock;
    WizardLog log(&clock);
    ASSERT_TRUE(log.open(dir.path()));
    log.log("first %d", 1);
    clock.advanceMs(1234);
    log.log("Step1: device idx=%d \"%s\"", 2, "Focus 2");
    clock.advanceMs(998766);
    log.log("late");
    log.close();
    log.log("after close is dropped");
    const std::string text = readFile(dir.file(kWizardLogFileName));
    EXPECT_TRUE(std::regex_search(text, std::regex("^\n=+\nQuor Vane -- Device Wizard Log\nDate:    "
                                                   "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\nSystem:  \\S.*\n=+\n\n")))
        << text;
    EXPECT_NE(text.find("[   0.000s] first 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[   1.234s] Step1: device idx=2 \"Focus 2\"\n"), std::string::npos);
    EXPECT_NE(text.find("[1000.000s] late\n"), std::string::npos);
    EXPECT_NE(text.find("] Wizard log closed.\n\n========================================\n"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
}

TEST(WizardLogTest, ASecondRunAppendsToTheFirst) {
    TempDir dir;
    WizardLog log;
    ASSERT_TRUE(log.open(dir.path()));
    log.log("run one");
    ASSERT_TRUE(log.open(dir.path()));  // closes the first run
    log.log("run two");
    log.close();
    const std::string text = readFile(dir.file(kWizardLogFileName));
    const size_t one = text.find("run one");
    const size_t closed = text.find("Wizard log closed.");
    const size_t two = text.find("run two");
    ASSERT_NE(two, std::string::npos);
    EXPECT_LT(one, closed);
    EXPECT_LT(closed, two);
}

// Lines "line NNNNNN\n" of 12 bytes up to `size` bytes.
std::string numberedLines(size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "line %06d\n", i);
        text += line;
    }
    text.resize(size);
    return text;
}

TEST(WizardLogTest, AnOversizedFileKeepsTheWholeLinesOfItsLastQuarterMegabyte) {
    struct Case {
        size_t size;
        bool cut;
    };
    for (const Case c : {Case{600000, true}, Case{524288, false}, Case{524289, true}}) {
        SCOPED_TRACE(c.size);
        TempDir dir;
        const std::string original = numberedLines(c.size);
        ASSERT_TRUE(writeFile(dir.file(kWizardLogFileName), original));
        ASSERT_TRUE(truncateWizardLogFile(dir.file(kWizardLogFileName)));
        const std::string text = readFile(dir.file(kWizardLogFileName));
        if (!c.cut) {
            EXPECT_EQ(text, original);
            continue;
        }
        std::string tail = original.substr(original.size() - kWizardLogKeepBytes);
        tail.erase(0, tail.find('\n') + 1);
        EXPECT_EQ(text, kWizardLogTruncatedLine + tail);
        EXPECT_EQ(text.rfind(std::string(kWizardLogTruncatedLine) + "line ", 0), 0u);
    }
}

TEST(WizardLogTest, AnOversizedTailWithoutLineFeedsIsKeptWhole) {
    TempDir dir;
    const std::string original(600000, 'x');
    ASSERT_TRUE(writeFile(dir.file(kWizardLogFileName), original));
    ASSERT_TRUE(truncateWizardLogFile(dir.file(kWizardLogFileName)));
    EXPECT_EQ(readFile(dir.file(kWizardLogFileName)),
              std::string(kWizardLogTruncatedLine) + std::string(kWizardLogKeepBytes, 'x'));
}

TEST(WizardLogTest, OpeningCutsTheFileBeforeTheNewHeader) {
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file(kWizardLogFileName), numberedLines(600000)));
    WizardLog log;
    ASSERT_TRUE(log.open(dir.path()));
    log.close();
    const std::string text = readFile(dir.file(kWizardLogFileName));
    EXPECT_EQ(text.rfind(kWizardLogTruncatedLine, 0), 0u);
    EXPECT_LT(text.size(), kWizardLogKeepBytes + 1024);
    EXPECT_NE(text.find("Quor Vane -- Device Wizard Log"), std::string::npos);
}

TEST(WizardLogTest, AFolderThatCannotBeUsedLeavesTheLogClosedAndQuiet) {
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("plain"), "a file, not a folder"));
    ASSERT_TRUE(writeFile(dir.file("holder"), ""));
    const std::string blockedFolder = dir.file("plain") + "/sub/";
    // A folder where the log file would be.
    TempDir other;
    ASSERT_TRUE(std::filesystem::create_directory(other.file(kWizardLogFileName)));
    for (const std::string& folder : {blockedFolder, other.path()}) {
        SCOPED_TRACE(folder);
        WizardLog log;
        EXPECT_FALSE(log.open(folder));
        EXPECT_FALSE(log.isOpen());
        log.log("nothing %d", 1);  // no crash, no file
        log.close();
        EXPECT_EQ(log.seconds(), 0.0);
    }
}

}  // namespace
}  // namespace qv
