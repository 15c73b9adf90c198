// Output names stay beside OUTPUTBASE and begin with its name; files are created without following links.
#include "OutputFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

using namespace Engine;

TEST(SplitOutputBase, SplitsFolderAndName) {
  const struct {
    const char* Base;
    bool Valid;
    const char* Folder;
    const char* Name;
  } Cases[] = {
      {"/out/a/a", true, "/out/a/", "a"},
      {"a", true, "", "a"},
      {"rel/dir/My File.v2", true, "rel/dir/", "My File.v2"},
      {"/", false, "/", ""},
      {"dir/", false, "dir/", ""},
      {"", false, "", ""},
      {"/x/..", false, "/x/", ".."},
      {".", false, "", "."},
  };
  for (const auto& Case : Cases) {
    OutputPlace Place;
    EXPECT_EQ(SplitOutputBase(Case.Base, Place), Case.Valid) << Case.Base;
    EXPECT_EQ(Place.Folder, Case.Folder) << Case.Base;
    EXPECT_EQ(Place.Name, Case.Name) << Case.Base;
  }
}

TEST(OutputNames, EveryFileLiesBesideTheHtmlAndBeginsWithTheBaseName) {
  OutputPlace Place;
  ASSERT_TRUE(SplitOutputBase("/out/doc/doc", Place));
  EXPECT_EQ(HtmlPath(Place), "/out/doc/doc.html");
  EXPECT_EQ(PagePath(Place, 12), "/out/doc/doc-12.svg");
  EXPECT_EQ(PageFileName(Place, 1), "doc-1.svg");
  EXPECT_EQ(TempPath(HtmlPath(Place), 4242), "/out/doc/doc.html.part4242");
  EXPECT_EQ(TempPath(PagePath(Place, 3), 7), "/out/doc/doc-3.svg.part7");
}

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char Pattern[] = "/tmp/engine-test-XXXXXX";
    ASSERT_NE(mkdtemp(Pattern), nullptr);
    Folder = Pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + Folder + "'").c_str()); }
  std::string Folder;
};

TEST_F(TempFolder, CreateExclusiveRefusesExistingFilesAndLinks) {
  const std::string Path = Folder + "/file";
  const int Fd = CreateExclusive(Path);
  ASSERT_GE(Fd, 0);
  EXPECT_TRUE(WriteAll(Fd, "abc", 3));
  close(Fd);
  EXPECT_EQ(CreateExclusive(Path), -1) << "an existing file is never reused";
  EXPECT_EQ(errno, EEXIST);

  const std::string Target = Folder + "/target";
  const std::string Link = Folder + "/link";
  ASSERT_EQ(symlink(Target.c_str(), Link.c_str()), 0);
  EXPECT_EQ(CreateExclusive(Link), -1) << "a planted link must not redirect the output";
  EXPECT_NE(access(Target.c_str(), F_OK), 0) << "nothing was created where the link points";
}

TEST_F(TempFolder, RemoveAllDeletesOnlyTrackedTemporaries) {
  OutputPlace Place;
  ASSERT_TRUE(SplitOutputBase(Folder + "/doc", Place));
  const long Run = 99;
  const std::string Kept = Folder + "/doc-1.svg";
  for (const std::string& Path : {TempPath(HtmlPath(Place), Run), TempPath(PagePath(Place, 1), Run),
                                  TempPath(PagePath(Place, 2), Run), Kept}) {
    const int Fd = CreateExclusive(Path);
    ASSERT_GE(Fd, 0) << Path;
    close(Fd);
  }
  TempRegistry::Track(Place, Run, 2);
  TempRegistry::RemoveAll();
  TempRegistry::Clear();
  EXPECT_NE(access(TempPath(HtmlPath(Place), Run).c_str(), F_OK), 0);
  EXPECT_NE(access(TempPath(PagePath(Place, 1), Run).c_str(), F_OK), 0);
  EXPECT_NE(access(TempPath(PagePath(Place, 2), Run).c_str(), F_OK), 0);
  EXPECT_EQ(access(Kept.c_str(), F_OK), 0) << "finished files of an earlier run stay";
}

}  // namespace
