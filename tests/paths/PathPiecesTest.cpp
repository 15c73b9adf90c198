// Path pieces in both path styles and in code page 932. Linked with the path-piece library
// alone, so it also shows that the library needs nothing from the platform layer.
#include "paths/PathPieces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CodePages.h"

namespace {

const PathStyle Windows{'\\', true, NoLeadBytes};
const PathStyle Windows932{'\\', true, ShiftJisLeadByte};
const PathStyle Posix{'/', false, NoLeadBytes};

TEST(PathPieces, SplitWindowsPaths) {
  const struct {
    std::string Path, Folder, Name, Ext, Bare;
  } Cases[] = {
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
  for (const auto& Case : Cases) {
    EXPECT_EQ(FolderPart(Case.Path, Windows), Case.Folder) << Case.Path;
    EXPECT_EQ(FileNamePart(Case.Path, Windows), Case.Name) << Case.Path;
    EXPECT_EQ(ExtPart(Case.Path, Windows), Case.Ext) << Case.Path;
    EXPECT_EQ(NameWithoutExt(Case.Path, Windows), Case.Bare) << Case.Path;
  }
}

TEST(PathPieces, SplitPosixPaths) {
  EXPECT_EQ(NameWithoutExt("/in/sample1.pdf", Posix), "sample1");
  EXPECT_EQ(NameWithoutExt("/in.d/readme", Posix), "readme");
  EXPECT_EQ(NameWithoutExt("a:b.pdf", Posix), "a:b");
  EXPECT_EQ(NameWithoutExt(R"(C:\in\x.pdf)", Posix), R"(C:\in\x)");
  EXPECT_EQ(FolderPart("/out", Posix), "/");
  EXPECT_EQ(FolderPart("out/", Posix), "out/");
}

TEST(PathPieces, ShiftJisTrailBackslashIsPartOfTheName) {
  // 0x95 0x5C is one character whose trail byte is a backslash.
  const std::string Name = "a\x95\\";
  EXPECT_EQ(FileNamePart("C:\\in\\" + Name + ".pdf", Windows932), Name + ".pdf");
  EXPECT_EQ(NameWithoutExt("C:\\in\\" + Name + ".pdf", Windows932), Name);
  EXPECT_EQ(FolderPart("C:\\in\\" + Name, Windows932), "C:\\in\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\" + Name, Windows932), "C:\\" + Name + "\\");
  EXPECT_EQ(DelimiterPositions("C:\\" + Name + "\\x", Windows932), (std::vector<std::size_t>{1, 2, 6}));
  // A lead byte takes any byte after it, even a dot, which then begins no extension.
  EXPECT_EQ(ExtPart("a.b\x81.c", Windows932), ".b\x81.c");
  EXPECT_EQ(NameWithoutExt("a\x81.pdf", Windows932), "a\x81.pdf");
  EXPECT_EQ(ExtPart("a.b\x81.c", Windows), ".c");
  // Read without the code page, the same bytes end in a separator.
  EXPECT_EQ(FileNamePart("C:\\in\\" + Name, Windows), "");
  EXPECT_EQ(DelimiterPositions("C:\\" + Name + "\\x", Windows), (std::vector<std::size_t>{1, 2, 5, 6}));
}

TEST(WithTrailingBackslash, AddsOneOnlyWhereMissing) {
  EXPECT_EQ(WithTrailingBackslash("", Windows), "");
  EXPECT_EQ(WithTrailingBackslash(R"(C:\tools)", Windows), R"(C:\tools\)");
  EXPECT_EQ(WithTrailingBackslash(R"(C:\tools\)", Windows), R"(C:\tools\)");
  EXPECT_EQ(WithTrailingBackslash("D:", Windows), R"(D:\)");
  EXPECT_EQ(WithTrailingBackslash("/usr/bin", Posix), "/usr/bin/");
}

}  // namespace
