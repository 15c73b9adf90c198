// The run from command line to exit code, in this process, with the stand-in engine that the
// build puts beside the test program.
#include "app/RunSequence.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace {

using Lines = std::vector<std::string>;

class RunSequenceTest : public ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    ASSERT_EQ(std::system("touch in.pdf"), 0);
    unsetenv("QUIRECAST_STANDIN");
    unsetenv("QUIRECAST_STANDIN_LOG");
  }

  int Run(std::vector<std::string> Words) {
    Words.insert(Words.begin(), "quirecast");
    std::vector<char*> Argv;
    for (std::string& Word : Words) Argv.push_back(Word.data());
    Argv.push_back(nullptr);
    Printed.clear();
    return RunSequence(static_cast<int>(Words.size()), Argv.data(),
                       [this](std::string_view Line) { Printed.emplace_back(Line); });
  }
  static bool Exists(const std::string& Path) {
    struct stat Info {};
    return stat(Path.c_str(), &Info) == 0;
  }
  static std::string Contents(const std::string& Path) {
    std::ifstream File(Path, std::ios::binary);
    std::ostringstream Text;
    Text << File.rdbuf();
    return Text.str();
  }

  Lines Printed;
};

TEST_F(RunSequenceTest, EachCheckHasItsMessageAndCode) {
  const std::string Usage = UsageText();
  const std::string TooMany = "Parameters error! Please run Quirecast to get help.";
  const struct {
    std::vector<std::string> Args;
    int Code;
    Lines Printed;
  } Cases[] = {
      {{}, 1, {Usage}},
      {{"/?"}, 1, {Usage}},
      {{"-?"}, 1, {Usage}},
      {{"?"}, 1, {Usage}},
      {{"none?.pdf", "out"}, 1, {Usage}},
      {{"?", "2", "3", "4", "5", "6", "7"}, 2, {TooMany}},
      {{"in.pdf", "o", "-L1", "-V1", "-X1", "-Y1"}, 0, {"Convert to: o [Success]"}},
      {{"none.pdf", "out"}, 4, {"Input file does not found: none.pdf"}},
      {{"in.pdf", "o", "-L101"}, 6, {"Loop count must be in the range 1-100."}},
      {{"in.pdf", "o", "-L-1"}, 6, {"Loop count must be in the range 1-100."}},
      {{"in.pdf", "o", "-L0"}, 0, {"Convert to: o [Success]"}},
      {{"in.pdf", "o", "-L100"}, 0, {"Convert to: o [Success]"}},
      {{"in.pdf", "o", "-L$64"}, 0, {"Convert to: o [Success]"}},
      {{"in.pdf", "o", "-L"}, 99, {"Unexpected error: '' is not a valid integer value."}},
      {{"in.pdf", "o", "-Lfive"}, 99, {"Unexpected error: 'five' is not a valid integer value."}},
      {{"in.pdf", "o", "-V"}, 0, {"Convert to: o [Success]"}},
      {{"in.pdf", "o", "-v2"}, 0, {"Convert to: o [Success]"}},
      {{"in.pdf", "o", "-V3"}, 7, {"Verbose level must be in [0,1,2]."}},
      {{"in.pdf", "o", "-V01"}, 7, {"Verbose level must be in [0,1,2]."}},
      {{"in.pdf", "o", "-V 1"}, 7, {"Verbose level must be in [0,1,2]."}},
      {{"in.pdf", "o", "-X9999"}, 0, {"Convert to: o [Success]"}},
      {{"in.pdf", "o", "-X10000"}, 8, {"Pixel width must be in the range 1-9999."}},
      {{"in.pdf", "o", "-Y10000"}, 9, {"Pixel height must be in the range 1-9999."}},
      {{"in.pdf", "o", "-L200", "-X20000"}, 6, {"Loop count must be in the range 1-100."}},
      {{"in.pdf", "o", "-X20000", "-Yz"}, 8, {"Pixel width must be in the range 1-9999."}},
      {{"in.pdf", "o", "-V5", "-X"}, 7, {"Verbose level must be in [0,1,2]."}},
  };
  for (const auto& Case : Cases) {
    const std::string Label = Case.Args.empty() ? "(none)" : Case.Args.back();
    EXPECT_EQ(Run(Case.Args), Case.Code) << Label;
    EXPECT_EQ(Printed, Case.Printed) << Label;
  }
}

TEST_F(RunSequenceTest, MissingInputMakesNoFolder) {
  EXPECT_EQ(Run({"none.pdf", "out"}), 4);
  EXPECT_FALSE(Exists("out"));
}

TEST_F(RunSequenceTest, ArgumentsOneAndTwoAreTakenByPosition) {
  // The second argument is the output folder and an option at once.
  setenv("QUIRECAST_STANDIN_LOG", "engine.log", 1);
  EXPECT_EQ(Run({"in.pdf", "-L5"}), 0);
  EXPECT_EQ(Printed, Lines{"Convert to: -L5 [Success]"});
  EXPECT_TRUE(Exists("-L5/in/in.html"));
  const std::string Record = Contents("engine.log");
  EXPECT_NE(Record.find("argc=3\narg1=in.pdf\narg2=-L5/in/in\nend\n"), std::string::npos) << Record;

  EXPECT_EQ(Run({"in.pdf", "-L500"}), 6);
  EXPECT_TRUE(Exists("-L500/in"));
}

TEST_F(RunSequenceTest, FolderStaysWhenAnOptionFailsLater) {
  EXPECT_EQ(Run({"in.pdf", "kept", "-X10000"}), 8);
  EXPECT_TRUE(Exists("kept/in"));
  EXPECT_FALSE(Exists("kept/in/in.html"));
}

TEST_F(RunSequenceTest, ReportsWhatTheEngineLeft) {
  setenv("QUIRECAST_STANDIN", "fail", 1);
  EXPECT_EQ(Run({"in.pdf", "out/"}), 0);
  EXPECT_EQ(Printed, Lines{"Convert to: out/ [Failed]"});
  EXPECT_TRUE(Exists("out/in")) << "made before the engine ran";

  setenv("QUIRECAST_STANDIN", "write-fail", 1);
  EXPECT_EQ(Run({"in.pdf", "out/"}), 0);
  EXPECT_EQ(Printed, Lines{"Convert to: out/ [Success]"}) << "the engine's status is not read";

  // The file of the run before is still there, but this engine wrote nothing.
  setenv("QUIRECAST_STANDIN", "fail", 1);
  EXPECT_EQ(Run({"in.pdf", "out/"}), 0);
  EXPECT_EQ(Printed, Lines{"Convert to: out/ [Failed]"});
  EXPECT_TRUE(Exists("out/in/in.html")) << "nothing is deleted";
}

}  // namespace
