// The executable's folder, the file test and folder creation, on a real file system.
#include "paths/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/CodePages.h"
#include "support/ScratchFolder.h"

namespace {

const PathStyle Posix{'/', false, NoLeadBytes};

TEST(ExeFolderFile, NamesAFileBesideThisProgram) {
  char Self[4096] = "";
  const ssize_t Length = readlink("/proc/self/exe", Self, sizeof Self - 1);
  ASSERT_GT(Length, 0);
  const std::string SelfPath(Self, static_cast<std::size_t>(Length));
  EXPECT_EQ(ExeFolderFile("pdf"), SelfPath.substr(0, SelfPath.rfind('/') + 1) + "pdf");
}

class FolderTest : public ScratchFolderTest {
 protected:
  static bool IsFolder(const std::string& Path) {
    struct stat Info {};
    return stat(Path.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
  }
};

TEST_F(FolderTest, MakeFolderChainMakesEveryMissingLevel) {
  EXPECT_TRUE(MakeFolderChain("out/a/", Posix));
  EXPECT_TRUE(IsFolder("out/a"));
  EXPECT_TRUE(MakeFolderChain(Root + "/abs/b/c", Posix));
  EXPECT_TRUE(IsFolder(Root + "/abs/b/c"));
  EXPECT_TRUE(MakeFolderChain("out/a/", Posix)) << "an existing chain is success";
}

TEST_F(FolderTest, DoubledSeparatorsCountAsOne) {
  EXPECT_TRUE(MakeFolderChain("o//s1/", Posix));
  EXPECT_TRUE(IsFolder("o/s1"));
  EXPECT_TRUE(MakeFolderChain(Root + "//deep///x//", Posix));
  EXPECT_TRUE(IsFolder(Root + "/deep/x"));
}

TEST_F(FolderTest, NothingToMakeOrNothingPossible) {
  EXPECT_FALSE(MakeFolderChain("", Posix));
  EXPECT_TRUE(MakeFolderChain("/", Posix));
  EXPECT_TRUE(MakeFolderChain("//", Posix));
  ASSERT_EQ(std::system("touch file"), 0);
  EXPECT_FALSE(MakeFolderChain("file/sub/", Posix)) << "a file stands in the way";
  EXPECT_FALSE(IsFolder("file/sub"));
}

TEST_F(FolderTest, ManyLevelsDoNotExhaustTheStack) {
  std::string Deep;
  for (int Level = 0; Level < 20000; ++Level) Deep += "d/";
  // The file system refuses a path this long; the walk itself must survive it.
  EXPECT_FALSE(MakeFolderChain(Deep, Posix));
}

TEST_F(FolderTest, IsExistingFileIsFalseForFolders) {
  ASSERT_EQ(std::system("mkdir dir && touch plain"), 0);
  EXPECT_TRUE(IsExistingFile("plain"));
  EXPECT_FALSE(IsExistingFile("dir"));
  EXPECT_FALSE(IsExistingFile("missing"));
  EXPECT_FALSE(IsExistingFile(""));
}

}  // namespace
