#include "platform/Files.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

using test::TempDir;

std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    EXPECT_TRUE(listRegularFiles(folder, names));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicWrite, ReplacesTheWholeFileAndLeavesNothingElse) {
    TempDir dir;
    const std::string path = dir.file("settings.ini");
    ASSERT_TRUE(writeFileAtomically(path, "a much longer first version\n"));
    ASSERT_TRUE(writeFileAtomically(path, "second\n"));
    EXPECT_EQ(test::readFile(path), "second\n");
    ASSERT_TRUE(writeFileAtomically(path, ""));
    EXPECT_EQ(test::readFile(path), "");
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"settings.ini"});
}

TEST(AtomicWrite, KeepsPermissionsAndWritesThroughSymbolicLinks) {
    TempDir dir;
    const std::string real = dir.file("real.ini");
    ASSERT_TRUE(writeFileAtomically(real, "old"));
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("real.ini", dir.file("link.ini").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(dir.file("link.ini"), "new"));
    struct stat st{};
    ASSERT_EQ(::lstat(dir.file("link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(test::readFile(real), "new");
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AtomicWrite, AWriteThatFailsHalfwayKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("profile.json");
    ASSERT_TRUE(writeFileAtomically(path, "{\"old\": true}"));

    // A file-size limit makes the disk "full" after 100 bytes.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = writeFileAtomically(path, std::string(1000, 'x'), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "write " + path + ": File too large");
    EXPECT_EQ(test::readFile(path), "{\"old\": true}");
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"profile.json"});
}

TEST(AtomicWrite, ReportsTargetsThatCannotBeWritten) {
    TempDir dir;
    std::string error;
    ASSERT_EQ(::mkdir(dir.file("taken").c_str(), 0755), 0);
    EXPECT_FALSE(writeFileAtomically(dir.file("taken"), "x", &error));
    EXPECT_NE(error.find("a folder of that name exists"), std::string::npos) << error;
    EXPECT_FALSE(writeFileAtomically(dir.file("missing/file.ini"), "x", &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(writeFileAtomically(dir.path(), "x", &error));
    EXPECT_FALSE(writeFileAtomically("", "x", &error));
}

TEST(WholeFileRead, ReadsRegularFilesOnlyAndNeverBlocks) {
    TempDir dir;
    std::string text = "unchanged";
    std::string error;
    EXPECT_EQ(readRegularFile(dir.file("none"), text, kMaxSettingsFileBytes, &error), FileReadStatus::kMissing);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(error, "open " + dir.file("none") + ": No such file or directory");
    EXPECT_EQ(readRegularFile(dir.file("none/deeper"), text), FileReadStatus::kMissing);
    EXPECT_EQ(readRegularFile(dir.path(), text), FileReadStatus::kNotRegular);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    EXPECT_EQ(readRegularFile(dir.file("fifo"), text), FileReadStatus::kNotRegular);

    ASSERT_TRUE(test::writeFile(dir.file("data"), std::string("line\r\n\0nul", 10)));
    EXPECT_EQ(readRegularFile(dir.file("data"), text), FileReadStatus::kOk);
    EXPECT_EQ(text, std::string("line\r\n\0nul", 10));
    EXPECT_EQ(readRegularFile(dir.file("data"), text, 10), FileReadStatus::kOk);
    EXPECT_EQ(readRegularFile(dir.file("data"), text, 9, &error), FileReadStatus::kTooLarge);
    EXPECT_TRUE(text.empty());
}

TEST(FolderListing, RegularFilesAndLinksToThem) {
    TempDir dir;
    ASSERT_TRUE(test::writeFile(dir.file("b.json"), "{}"));
    ASSERT_TRUE(test::writeFile(dir.file("a.txt"), ""));
    ASSERT_EQ(::mkdir(dir.file("sub.json").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo.json").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("b.json", dir.file("link.json").c_str()), 0);
    ASSERT_EQ(::symlink("sub.json", dir.file("dirlink.json").c_str()), 0);
    ASSERT_EQ(::symlink("gone", dir.file("dangling.json").c_str()), 0);
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"a.txt", "b.json", "link.json"}));

    std::vector<std::string> names = {"stale"};
    EXPECT_TRUE(listRegularFiles(dir.file("absent"), names));
    EXPECT_TRUE(names.empty());
    names = {"stale"};
    EXPECT_TRUE(listRegularFiles(dir.file("a.txt") + "/", names)) << "a file where the folder should be lists nothing";
    EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace qv
