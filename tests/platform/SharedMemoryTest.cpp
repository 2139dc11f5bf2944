// Shared-memory files and named events in a test's own folder.

#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <semaphore.h>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qv::test {
namespace {

TEST(SharedMemoryNames, MappingNamesBecomeFileNamesOfTheFolder) {
    EXPECT_EQ(sharedMemoryFileName("Local\\IRSDKMemMapFileName"), "IRSDKMemMapFileName");
    EXPECT_EQ(sharedMemoryFileName("Global\\acpmf_physics"), "acpmf_physics");
    EXPECT_EQ(sharedMemoryFileName("LMU_Data"), "LMU_Data");
    for (const char* bad : {"", "Local\\", "..", ".", "a/b", "Local\\../x", "x\\y"})
        EXPECT_EQ(sharedMemoryFileName(bad), "") << bad;
    EXPECT_EQ(sharedMemoryFileName(std::string_view("a\0b", 3)), "");

    ::unsetenv("QUORVANE_SHM_DIR");
    EXPECT_EQ(sharedMemoryFolder(), "/dev/shm/");
    ::setenv("QUORVANE_SHM_DIR", "/tmp/somewhere", 1);
    EXPECT_EQ(sharedMemoryFolder(), "/tmp/somewhere/");
    ::setenv("QUORVANE_SHM_DIR", "", 1);
    EXPECT_EQ(sharedMemoryFolder(), "/dev/shm/");
    ::unsetenv("QUORVANE_SHM_DIR");
}

TEST(SharedMemoryMap, TheEnvironmentFolderIsUsedWhenNoneIsGiven) {
    TempDir dir;
    ::setenv("QUORVANE_SHM_DIR", dir.path().c_str(), 1);
    SharedMemoryMap writer;
    ASSERT_TRUE(writer.create("Local\\EnvMap", 16)) << writer.lastError();
    EXPECT_EQ(writer.path(), dir.path() + "EnvMap");
    ::unsetenv("QUORVANE_SHM_DIR");
}

TEST(SharedMemoryMap, OpeningFailsCleanlyForMissingShortAndOddFiles) {
    TempDir dir;
    SharedMemoryMap map(dir.path());
    EXPECT_FALSE(map.open("Local\\Nothing", 8));
    EXPECT_TRUE(map.lastOpenFoundNoFile());
    EXPECT_EQ(map.lastError(), "open " + dir.path() + "Nothing: No such file or directory");
    EXPECT_FALSE(map.isOpen());
    EXPECT_EQ(map.data(), nullptr);
    EXPECT_EQ(map.size(), 0u);

    ASSERT_TRUE(writeFile(dir.file("Short"), std::string(100, 'x')));
    EXPECT_FALSE(map.open("Short", 101));
    EXPECT_FALSE(map.lastOpenFoundNoFile());
    EXPECT_EQ(map.lastError(), "open " + dir.path() + "Short: 100 bytes, fewer than the 101 needed");
    EXPECT_FALSE(map.isOpen());
    ASSERT_TRUE(map.open("Short", 100));
    EXPECT_EQ(map.size(), 100u);
    EXPECT_EQ(map.data()[99], 'x');
    EXPECT_EQ(map.writableData(), nullptr) << "read-only";

    ASSERT_TRUE(writeFile(dir.file("Empty"), ""));
    EXPECT_FALSE(map.open("Empty", 0));
    EXPECT_FALSE(map.isOpen());

    ASSERT_EQ(::mkdir(dir.file("Folder").c_str(), 0755), 0);
    EXPECT_FALSE(map.open("Folder", 1));
    EXPECT_EQ(map.lastError(), "open " + dir.path() + "Folder: not a regular file");

    // A FIFO must neither block the opener nor be mapped.
    ASSERT_EQ(::mkfifo(dir.file("Fifo").c_str(), 0644), 0);
    EXPECT_FALSE(map.open("Fifo", 1));
    EXPECT_EQ(map.lastError(), "open " + dir.path() + "Fifo: not a regular file");

    EXPECT_FALSE(map.open("../escape", 1));
    EXPECT_NE(map.lastError().find("cannot name a file"), std::string::npos);
}

TEST(SharedMemoryMap, AReaderSeesTheWriterAndNoticesShrinkingAndRemoval) {
    TempDir dir;
    SharedMemoryMap writer(dir.path());
    ASSERT_TRUE(writer.create("Local\\Page", 4096)) << writer.lastError();
    EXPECT_TRUE(writer.createdHere());
    std::memcpy(writer.writableData() + 100, "hello", 5);

    SharedMemoryMap reader(dir.path());
    ASSERT_TRUE(reader.open("Page", 4096));
    EXPECT_EQ(std::memcmp(reader.data() + 100, "hello", 5), 0);
    writer.writableData()[200] = 42;
    EXPECT_EQ(reader.data()[200], 42);
    EXPECT_TRUE(reader.isIntact());

    ASSERT_EQ(::truncate(dir.file("Page").c_str(), 4000), 0);
    EXPECT_FALSE(reader.isIntact());
    ASSERT_EQ(::truncate(dir.file("Page").c_str(), 8192), 0);
    EXPECT_TRUE(reader.isIntact()) << "growing keeps every mapped byte readable";

    EXPECT_TRUE(writer.removeFile());
    EXPECT_FALSE(reader.isIntact());
    EXPECT_FALSE(writer.removeFile()) << "already gone";
    reader.close();
    reader.close();
    EXPECT_FALSE(reader.isIntact());
}

TEST(SharedMemoryMap, CreatingReplacesAStaleFileInsteadOfTruncatingIt) {
    TempDir dir;
    SharedMemoryMap first(dir.path());
    ASSERT_TRUE(first.create("Page", 4096));
    SharedMemoryMap reader(dir.path());
    ASSERT_TRUE(reader.open("Page", 4096));

    SharedMemoryMap second(dir.path());
    ASSERT_TRUE(second.create("Page", 64));
    // The old reader's bytes all still exist, and it sees that its file is gone.
    EXPECT_EQ(reader.data()[4095], 0);
    EXPECT_FALSE(reader.isIntact());
    // The first writer must not remove the second one's file.
    EXPECT_FALSE(first.removeFile());
    struct stat st{};
    ASSERT_EQ(::stat(dir.file("Page").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 64);
}

TEST(SharedMemoryMap, OpenOrCreateMakesTheFileOnceAtItsFullSize) {
    TempDir dir;
    SharedMemoryMap a(dir.path());
    ASSERT_TRUE(a.openOrCreate("Local\\LockRecord", 8)) << a.lastError();
    EXPECT_TRUE(a.createdHere());
    ASSERT_NE(a.writableData(), nullptr);
    a.writableData()[3] = 7;

    SharedMemoryMap b(dir.path());
    ASSERT_TRUE(b.openOrCreate("LockRecord", 8));
    EXPECT_FALSE(b.createdHere());
    EXPECT_EQ(b.data()[3], 7);
    EXPECT_EQ(b.size(), 8u);

    SharedMemoryMap tooBig(dir.path());
    EXPECT_FALSE(tooBig.openOrCreate("LockRecord", 16)) << "an existing short file is not grown";
    // No temporary files are left behind.
    const auto entries = std::distance(std::filesystem::directory_iterator(dir.path()),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);
    EXPECT_EQ(readFile(dir.file("LockRecord")).size(), 8u);
}

TEST(SharedMemoryMap, ManyThreadsRacingToCreateAgreeOnOneFile) {
    TempDir dir;
    constexpr int kThreads = 8;
    SharedMemoryMap maps[kThreads] = {SharedMemoryMap(dir.path()), SharedMemoryMap(dir.path()),
                                      SharedMemoryMap(dir.path()), SharedMemoryMap(dir.path()),
                                      SharedMemoryMap(dir.path()), SharedMemoryMap(dir.path()),
                                      SharedMemoryMap(dir.path()), SharedMemoryMap(dir.path())};
    bool ok[kThreads] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { ok[i] = maps[i].openOrCreate("Race", 64); });
    for (auto& t : threads)
        t.join();
    int created = 0;
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_TRUE(ok[i]) << maps[i].lastError();
        created += maps[i].createdHere();
    }
    EXPECT_EQ(created, 1);
    maps[0].writableData()[10] = 9;
    for (int i = 1; i < kThreads; ++i)
        EXPECT_EQ(maps[i].data()[10], 9);
}

TEST(NamedEvent, AnAbsentEventDoesNotOpen) {
    TempDir dir;
    NamedEvent event(dir.path());
    EXPECT_FALSE(event.open("Local\\IRSDKDataValidEvent"));
    EXPECT_FALSE(event.isOpen());
    EXPECT_FALSE(event.signal());
    EXPECT_FALSE(event.wait(0));
}

TEST(NamedEvent, SignalsAreAutoResetAndDoNotPileUp) {
    TempDir dir;
    NamedEvent setter(dir.path());
    ASSERT_TRUE(setter.openOrCreate("Local\\DataEvent")) << setter.lastError();
    EXPECT_TRUE(setter.createdHere());
    EXPECT_EQ(readFile(dir.file("sem.DataEvent")).size(), sizeof(sem_t)) << "glibc's layout for named semaphores";

    NamedEvent waiter(dir.path());
    ASSERT_TRUE(waiter.open("Local\\DataEvent"));
    EXPECT_FALSE(waiter.createdHere());
    EXPECT_FALSE(waiter.wait(0));
    EXPECT_TRUE(setter.signal());
    EXPECT_TRUE(setter.signal());
    EXPECT_TRUE(waiter.wait(0));
    EXPECT_FALSE(waiter.wait(0)) << "two signals before a wait release one waiter";

    EXPECT_TRUE(setter.removeFile());
    EXPECT_FALSE(NamedEvent(dir.path()).open("Local\\DataEvent"));
    // Holders of the removed event still share it.
    EXPECT_TRUE(setter.signal());
    EXPECT_TRUE(waiter.wait(0));
}

TEST(NamedEvent, AWaiterInAnotherThreadIsReleased) {
    TempDir dir;
    NamedEvent setter(dir.path());
    ASSERT_TRUE(setter.openOrCreate("Wake"));
    bool woke = false;
    std::thread waiter([&] {
        NamedEvent mine(dir.path());
        if (mine.open("Wake"))
            woke = mine.wait(60000);
    });
    setter.signal();
    waiter.join();
    EXPECT_TRUE(woke);
}

}  // namespace
}  // namespace qv::test

namespace qv {
namespace {

// The in-memory folder keeps the rules of the file one, without files.
TEST(SharedMemoryMap, AMemoryFolderKeepsTheRulesOfFilesWithoutAnyFile) {
    const std::string folder = std::string(kMemoryFolderPrefix) + "shm-test-" + std::to_string(::getpid()) + "/";
    SharedMemoryMap reader(folder);
    EXPECT_FALSE(reader.open("Local\\page", 16));
    EXPECT_TRUE(reader.lastOpenFoundNoFile());

    SharedMemoryMap writer(folder);
    ASSERT_TRUE(writer.create("Local\\page", 64));
    EXPECT_TRUE(writer.createdHere());
    writer.writableData()[10] = 42;
    EXPECT_FALSE(reader.open("page", 65));
    EXPECT_FALSE(reader.lastOpenFoundNoFile());
    ASSERT_TRUE(reader.open("page", 64));
    EXPECT_EQ(reader.data()[10], 42);
    EXPECT_EQ(reader.writableData(), nullptr);
    EXPECT_EQ(reader.fileState(), ShmFileState::Intact);
    EXPECT_TRUE(reader.isIntact());

    // A newer page under the name: the reader keeps its own, whole.
    SharedMemoryMap newer(folder);
    ASSERT_TRUE(newer.create("page", 32));
    EXPECT_EQ(reader.fileState(), ShmFileState::Replaced);
    EXPECT_FALSE(reader.isIntact());
    EXPECT_EQ(reader.data()[10], 42);
    EXPECT_FALSE(writer.removeFile()) << "not the writer's page any more";
    EXPECT_TRUE(newer.removeFile());
    EXPECT_EQ(newer.fileState(), ShmFileState::Removed);
    EXPECT_FALSE(SharedMemoryMap(folder).open("page", 1));

    // openOrCreate makes the page once; the second caller shares it.
    SharedMemoryMap first(folder);
    SharedMemoryMap second(folder);
    ASSERT_TRUE(first.openOrCreate("shared", 8));
    ASSERT_TRUE(second.openOrCreate("shared", 8));
    EXPECT_TRUE(first.createdHere());
    EXPECT_FALSE(second.createdHere());
    first.writableData()[0] = 7;
    EXPECT_EQ(second.data()[0], 7);
    EXPECT_TRUE(first.removeFile());

    // Events live in it too.
    NamedEvent signaller(folder);
    NamedEvent waiter(folder);
    ASSERT_TRUE(signaller.openOrCreate("Local\\event"));
    ASSERT_TRUE(waiter.open("Local\\event"));
    EXPECT_FALSE(waiter.wait(0));
    EXPECT_TRUE(signaller.signal());
    EXPECT_TRUE(waiter.wait(1000));
    EXPECT_TRUE(signaller.removeFile());
}

}  // namespace
}  // namespace qv
