#include "platform/Files.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
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

namespace qv::test {
namespace {

// Saving through a link onto a pipe or a socket (stand-ins for device nodes
// such as /dev/null) would replace them with a plain file; a pipe in the
// file's own place likewise. The writer leaves them all alone.
TEST(AtomicWrite, NeverReplacesAnythingButARegularFile) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir.file("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::symlink(dir.file("fifo").c_str(), dir.file("to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink(socketPath.c_str(), dir.file("to-socket").c_str()), 0);

    struct Case {
        const char* name;
        const char* target;
    };
    for (Case c : {Case{"fifo", "fifo"}, Case{"to-fifo", "fifo"}, Case{"to-socket", "socket"}}) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_FALSE(writeFileAtomically(dir.file(c.name), "text", &error));
        EXPECT_EQ(error, "write " + dir.file(c.target) + ": not a regular file; it was left as it is");
        struct stat st{};
        ASSERT_EQ(::stat(dir.file(c.name).c_str(), &st), 0);
        EXPECT_FALSE(S_ISREG(st.st_mode));
    }
    ::close(sock);
    std::vector<std::string> names;
    ASSERT_TRUE(listRegularFiles(dir.path(), names));
    EXPECT_TRUE(names.empty()) << "no temporary file left";
}

// Log files are opened without waiting: a pipe, with or without a reader, or
// a link to one is refused at once; a regular file is emptied and written.
TEST(OutputFile, OpensRegularFilesOnlyAndNeverBlocks) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.file("fifo").c_str(), dir.file("link").c_str()), 0);
    for (const char* name : {"fifo", "link"}) {
        std::string error;
        EXPECT_EQ(openOutputFile(dir.file(name), &error), nullptr);
        EXPECT_EQ(error, "open " + dir.file(name) + ": not a regular file");
    }
    const int reader = ::open(dir.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    EXPECT_EQ(openOutputFile(dir.file("fifo"), &error), nullptr) << "a reader makes no difference";
    ::close(reader);

    ASSERT_TRUE(writeFile(dir.file("log.txt"), "old and longer"));
    std::FILE* file = openOutputFile(dir.file("log.txt"));
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    std::fclose(file);
    EXPECT_EQ(readFile(dir.file("log.txt")), "new");
}

TEST(MoveAside, NeverReplacesAnOlderCopy) {
    TempDir dir;
    std::string movedTo;
    ASSERT_TRUE(writeFile(dir.file("a.json"), "1"));
    ASSERT_TRUE(moveAside(dir.file("a.json"), movedTo));
    EXPECT_EQ(movedTo, dir.file("a.json.bad"));
    ASSERT_TRUE(writeFile(dir.file("a.json"), "2"));
    ASSERT_TRUE(moveAside(dir.file("a.json"), movedTo));
    EXPECT_EQ(movedTo, dir.file("a.json.bad.1"));
    EXPECT_EQ(readFile(dir.file("a.json.bad")), "1");
    EXPECT_EQ(readFile(dir.file("a.json.bad.1")), "2");
    std::string error;
    EXPECT_FALSE(moveAside(dir.file("a.json"), movedTo, &error));
    EXPECT_EQ(error, "rename " + dir.file("a.json") + ": No such file or directory");
}

}  // namespace
}  // namespace qv::test
