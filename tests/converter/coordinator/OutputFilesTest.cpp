// Output names stay beside OUTPUTBASE and begin with its name; temporaries cannot be blocked or redirected.
#include "coordinator/OutputFiles.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace Engine;



TEST(SplitOutputBase, SplitsFolderAndNameWithTheSeparatorsOfThePlatform) {
  const struct {
    const char* Base;
    bool Backslash;
    bool Valid;
    const char* Folder;
    const char* Name;
  } Cases[] = {
      {"/out/a/a", false, true, "/out/a/", "a"},
      {"a", false, true, "", "a"},
      {"rel/dir/My File.v2", false, true, "rel/dir/", "My File.v2"},
      {"/", false, false, "/", ""},
      {"dir/", false, false, "dir/", ""},
      {"", false, false, "", ""},
      {"/x/..", false, false, "/x/", ".."},
      {".", false, false, "", "."},
      // On POSIX a backslash is part of a name.
      {"/out/a\\b", false, true, "/out/", "a\\b"},
      // The front end's output base on Windows, with the doubled backslash of a drive's root.
      {"d:\\\\sample1\\sample1", true, true, "d:\\\\sample1\\", "sample1"},
      {"d:\\out/mixed\\doc", true, true, "d:\\out/mixed\\", "doc"},
      {"d:doc", true, true, "d:", "doc"},
      {"d:\\", true, false, "d:\\", ""},
      {"doc", true, true, "", "doc"},
  };
  for (const auto& Case : Cases) {
    OutputPlace Place;
    EXPECT_EQ(SplitOutputBase(Case.Base, Place, Case.Backslash), Case.Valid) << Case.Base;
    EXPECT_EQ(Place.Folder, Case.Folder) << Case.Base;
    EXPECT_EQ(Place.Name, Case.Name) << Case.Base;
  }
}

TEST(OutputNames, EveryFileLiesBesideTheHtmlAndBeginsWithTheBaseName) {
  OutputPlace Place;
  ASSERT_TRUE(SplitOutputBase("/out/doc/doc", Place, false));
  EXPECT_EQ(HtmlPath(Place), "/out/doc/doc.html");
  EXPECT_EQ(PagePath(Place, 12), "/out/doc/doc-12.svg");
  EXPECT_EQ(PageFileName(Place, 1), "doc-1.svg");
  // Twelve hex digits of the random number.
  EXPECT_EQ(TempPath(HtmlPath(Place), 0xabcdef0123456789ull), "/out/doc/doc.html.partef0123456789");
}

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char Pattern[] = "/tmp/engine-test-XXXXXX";
    ASSERT_NE(mkdtemp(Pattern), nullptr);
    Folder = Pattern;
  }
  void TearDown() override {
    TempRegistry::Clear();
    std::system(("rm -rf '" + Folder + "'").c_str());
  }
  std::string Folder;
};

TEST_F(TempFolder, NewFilesNeverReuseWhatIsThere) {
  const std::string Path = Folder + "/file";
  std::string Reason;
  {
    Platform::OutputFile File;
    ASSERT_EQ(File.CreateNew(Path, Reason), Platform::CreateStatus::Created);
    EXPECT_TRUE(File.Write("abc", Reason));
    EXPECT_TRUE(File.Finish(Reason));
  }
  Platform::OutputFile Again;
  EXPECT_EQ(Again.CreateNew(Path, Reason), Platform::CreateStatus::Exists) << "an existing file is never reused";

  const std::string Target = Folder + "/target";
  const std::string Link = Folder + "/link";
  ASSERT_EQ(symlink(Target.c_str(), Link.c_str()), 0);
  Platform::OutputFile Linked;
  EXPECT_EQ(Linked.CreateNew(Link, Reason), Platform::CreateStatus::Exists) << "a planted link must not redirect";
  EXPECT_FALSE(Linked.Rewrite(Link, Reason)) << "nor when a temporary is written again";
  EXPECT_NE(access(Target.c_str(), F_OK), 0) << "nothing was created where the link points";
}

TEST_F(TempFolder, TemporaryNamesAreUnguessableAndTheRegistryRemovesThemAll) {
  TempRegistry::Start();
  const std::string Final = Folder + "/doc-1.svg";
  std::string First, Second, Later, Reason;
  {
    Platform::OutputFile A, B, C;
    ASSERT_TRUE(CreateTemporary(Final, 1, A, First, Reason)) << Reason;
    ASSERT_TRUE(CreateTemporary(Final, 2, B, Second, Reason)) << Reason;
    // A page thousands on, whose name is kept apart from the first pages'.
    ASSERT_TRUE(CreateTemporary(Folder + "/doc-5000.svg", 5000, C, Later, Reason)) << Reason;
    ASSERT_TRUE(A.Finish(Reason));
    ASSERT_TRUE(B.Finish(Reason));
    ASSERT_TRUE(C.Finish(Reason));
  }
  EXPECT_NE(First, Second);
  EXPECT_EQ(First.rfind(Final + ".part", 0), 0u) << First;
  EXPECT_EQ(TempRegistry::Get(1), First);
  std::ofstream(Folder + "/doc.html") << "earlier run";
  TempRegistry::RemoveAll();
  EXPECT_NE(access(First.c_str(), F_OK), 0);
  EXPECT_NE(access(Second.c_str(), F_OK), 0);
  EXPECT_NE(access(Later.c_str(), F_OK), 0);
  EXPECT_EQ(access((Folder + "/doc.html").c_str(), F_OK), 0) << "finished files of an earlier run stay";
}

// A fixed sequence of "random" numbers, so that the test knows the names a run will try.
uint64_t Sequence() {
  static uint64_t Next = 0;
  return ++Next;
}

TEST_F(TempFolder, NothingPlantedAtATemporaryNameStopsTheRun) {
  TempRegistry::Start();
  const std::string Final = Folder + "/doc.html";
  // Whatever another user can put in the way: a folder, a link, a file.
  ASSERT_EQ(mkdir(TempPath(Final, 1).c_str(), 0755), 0);
  ASSERT_EQ(symlink("/etc/passwd", TempPath(Final, 2).c_str()), 0);
  std::ofstream(TempPath(Final, 3)) << "planted";
  Platform::OutputFile File;
  std::string Name, Reason;
  ASSERT_TRUE(CreateTemporary(Final, 0, File, Name, Reason, Sequence)) << Reason;
  EXPECT_EQ(Name, TempPath(Final, 4));
  EXPECT_EQ(TempRegistry::Get(0), Name);
  ASSERT_TRUE(File.Write("new", Reason));
  ASSERT_TRUE(File.Finish(Reason));
  std::ifstream Planted(TempPath(Final, 3));
  std::string Kept;
  Planted >> Kept;
  EXPECT_EQ(Kept, "planted") << "what was in the way is left alone";
}

}  // namespace
