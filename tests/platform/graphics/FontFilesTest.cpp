#include "platform/graphics/Graphics.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace qv {
namespace {

using test::TempDir;
using test::writeFile;

std::vector<std::string> relative(const std::vector<std::string>& files, const std::string& root) {
    std::vector<std::string> out;
    for (const std::string& f : files)
        out.push_back(f.substr(0, root.size()) == root ? f.substr(root.size()) : f);
    return out;
}

TEST(FontFiles, TakesTtfAndOtfInAnyCaseAndDescendsIntoFolders) {
    TempDir dir;
    for (const char* name : {"A.TTF", "b.otf", "c.ttc", ".hidden.ttf", "notes.txt", "ttf"})
        ASSERT_TRUE(writeFile(dir.file(name), "x"));
    std::filesystem::create_directory(dir.file("sub"));
    std::filesystem::create_directory(dir.file(".git"));
    ASSERT_TRUE(writeFile(dir.file("sub/d.ttf"), "x"));
    ASSERT_TRUE(writeFile(dir.file(".git/e.ttf"), "x"));

    EXPECT_EQ(relative(collectFontFiles(dir.path()), dir.path()),
              (std::vector<std::string>{"A.TTF", "b.otf", "sub/d.ttf"}));
}

TEST(FontFiles, MissingOrEmptyFolderGivesNothing) {
    TempDir dir;
    EXPECT_TRUE(collectFontFiles(dir.file("missing")).empty());
    EXPECT_TRUE(collectFontFiles(dir.path()).empty());
    EXPECT_TRUE(collectFontFiles("").empty());
}

TEST(FontFiles, LinkedFoldersAreFollowedButNeverIntoALoop) {
    TempDir dir;
    TempDir other;
    ASSERT_TRUE(writeFile(dir.file("a.ttf"), "x"));
    std::filesystem::create_directory(dir.file("sub"));
    ASSERT_TRUE(writeFile(dir.file("sub/b.ttf"), "x"));
    ASSERT_TRUE(writeFile(other.file("c.ttf"), "x"));
    // A link back to the root, one to itself, one to a folder elsewhere and a
    // dangling one.
    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("sub/up").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("loop").c_str(), dir.file("loop").c_str()), 0);
    ASSERT_EQ(::symlink(other.path().c_str(), dir.file("extra").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("gone").c_str(), dir.file("dangling.ttf").c_str()), 0);

    EXPECT_EQ(relative(collectFontFiles(dir.path()), dir.path()),
              (std::vector<std::string>{"a.ttf", "extra/c.ttf", "sub/b.ttf"}));
}

}  // namespace
}  // namespace qv
