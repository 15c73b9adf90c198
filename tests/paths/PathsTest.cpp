// Path pieces in both path styles, and folder creation on a real file system.
#include "paths/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "support/ScratchFolder.h"

namespace {

bool NoLeadBytes(unsigned char) { return false; }
bool ShiftJisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

const PathStyle kWindows{'\\', true, NoLeadBytes};
const PathStyle kWindows932{'\\', true, ShiftJisLeadByte};
const PathStyle kPosix{'/', false, NoLeadBytes};

TEST(PathPieces, SplitWindowsPaths) {
  const struct {
    std::string path, folder, name, ext, bare;
  } cases[] = {
      {R"(D:\in\sample1.pdf)", R"(D:\in\)", "sample1.pdf", ".pdf", "sample1"},
      {R"(D:\in\a.b.pdf)", R"(D:\in\)", "a.b.pdf", ".pdf", "a.b"},
      {R"(D:\in\README)", R"(D:\in\)", "README", "", "README"},
      {R"(D:\in\.pdf)", R"(D:\in\)", ".pdf", ".pdf", ""},
      {R"(D:\rel.2\readme)", R"(D:\rel.2\)", "readme", "", "readme"},
      {"D:sample.pdf", "D:", "sample.pdf", ".pdf", "sample"},
      {"a:b:c", "a:b:", "c", "", "c"},
      {R"(d:\out)", R"(d:\)", "out", "", "out"},
      {R"(d:\out\)", R"(d:\out\)", "", "", ""},
      {"out", "", "out", "", "out"},
      {"dir/a.pdf", "", "dir/a.pdf", ".pdf", "dir/a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderPart(c.path, kWindows), c.folder) << c.path;
    EXPECT_EQ(FileNamePart(c.path, kWindows), c.name) << c.path;
    EXPECT_EQ(ExtPart(c.path, kWindows), c.ext) << c.path;
    EXPECT_EQ(NameWithoutExt(c.path, kWindows), c.bare) << c.path;
  }
}

TEST(PathPieces, SplitPosixPaths) {
  EXPECT_EQ(NameWithoutExt("/in/sample1.pdf", kPosix), "sample1");
  EXPECT_EQ(NameWithoutExt("/in.d/readme", kPosix), "readme");
  EXPECT_EQ(NameWithoutExt("a:b.pdf", kPosix), "a:b");
  EXPECT_EQ(NameWithoutExt(R"(C:\in\x.pdf)", kPosix), R"(C:\in\x)");
  EXPECT_EQ(FolderPart("/out", kPosix), "/");
  EXPECT_EQ(FolderPart("out/", kPosix), "out/");
}

TEST(PathPieces, ShiftJisTrailBackslashIsPartOfTheName) {
  // 0x95 0x5C is one character whose trail byte is a backslash.
  const std::string name = "a\x95\\";
  EXPECT_EQ(FileNamePart("C:\\in\\" + name + ".pdf", kWindows932), name + ".pdf");
  EXPECT_EQ(NameWithoutExt("C:\\in\\" + name + ".pdf", kWindows932), name);
  EXPECT_EQ(FolderPart("C:\\in\\" + name, kWindows932), "C:\\in\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\" + name, kWindows932), "C:\\" + name + "\\");
  // Read without the code page, the same bytes end in a separator.
  EXPECT_EQ(FileNamePart("C:\\in\\" + name, kWindows), "");
}

TEST(WithTrailingBackslash, AddsOneOnlyWhereMissing) {
  EXPECT_EQ(WithTrailingBackslash("", kWindows), "");
  EXPECT_EQ(WithTrailingBackslash(R"(C:\tools)", kWindows), R"(C:\tools\)");
  EXPECT_EQ(WithTrailingBackslash(R"(C:\tools\)", kWindows), R"(C:\tools\)");
  EXPECT_EQ(WithTrailingBackslash("/usr/bin", kPosix), "/usr/bin/");
}

TEST(ExeFolderFile, NamesAFileBesideThisProgram) {
  const std::string self = OwnExePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(ExeFolderFile("pdf"), FolderPart(self, kPosix) + "pdf");
}

class FolderTest : public ScratchFolderTest {
 protected:
  static bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
};

TEST_F(FolderTest, MakeFolderChainMakesEveryMissingLevel) {
  EXPECT_TRUE(MakeFolderChain("out/a/", kPosix));
  EXPECT_TRUE(IsFolder("out/a"));
  EXPECT_TRUE(MakeFolderChain(root_ + "/abs/b/c", kPosix));
  EXPECT_TRUE(IsFolder(root_ + "/abs/b/c"));
  EXPECT_TRUE(MakeFolderChain("out/a/", kPosix)) << "an existing chain is success";
}

TEST_F(FolderTest, DoubledSeparatorsCountAsOne) {
  EXPECT_TRUE(MakeFolderChain("o//s1/", kPosix));
  EXPECT_TRUE(IsFolder("o/s1"));
  EXPECT_TRUE(MakeFolderChain(root_ + "//deep///x//", kPosix));
  EXPECT_TRUE(IsFolder(root_ + "/deep/x"));
}

TEST_F(FolderTest, NothingToMakeOrNothingPossible) {
  EXPECT_FALSE(MakeFolderChain("", kPosix));
  EXPECT_TRUE(MakeFolderChain("/", kPosix));
  EXPECT_TRUE(MakeFolderChain("//", kPosix));
  ASSERT_EQ(std::system("touch file"), 0);
  EXPECT_FALSE(MakeFolderChain("file/sub/", kPosix)) << "a file stands in the way";
  EXPECT_FALSE(IsFolder("file/sub"));
}

TEST_F(FolderTest, ManyLevelsDoNotExhaustTheStack) {
  std::string deep;
  for (int i = 0; i < 20000; ++i) deep += "d/";
  // The file system refuses a path this long; the walk itself must survive it.
  EXPECT_FALSE(MakeFolderChain(deep, kPosix));
}

TEST_F(FolderTest, IsExistingFileIsFalseForFolders) {
  ASSERT_EQ(std::system("mkdir dir && touch plain"), 0);
  EXPECT_TRUE(IsExistingFile("plain"));
  EXPECT_FALSE(IsExistingFile("dir"));
  EXPECT_FALSE(IsExistingFile("missing"));
  EXPECT_FALSE(IsExistingFile(""));
}

}  // namespace
