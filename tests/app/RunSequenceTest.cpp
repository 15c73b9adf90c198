// The run from command line to exit code, in this process, with the stand-in engine that the
// build puts beside the test program.
#include "app/RunSequence.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
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
  }

  int Run(std::vector<std::string> words) {
    words.insert(words.begin(), "quirecast");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    printed_.clear();
    settings_ = RunSettings();
    return RunSequence(static_cast<int>(words.size()), argv.data(), settings_,
                       [this](std::string_view line) { printed_.emplace_back(line); });
  }
  static bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
  }

  Lines printed_;
  RunSettings settings_;
};

TEST_F(RunSequenceTest, EachCheckHasItsMessageAndCode) {
  const std::string usage = UsageText();
  const std::string tooMany = "Parameters error! Please run Quirecast to get help.";
  const struct {
    std::vector<std::string> args;
    int code;
    Lines printed;
  } cases[] = {
      {{}, 1, {usage}},
      {{"/?"}, 1, {usage}},
      {{"-?"}, 1, {usage}},
      {{"?"}, 1, {usage}},
      {{"none?.pdf", "out"}, 1, {usage}},
      {{"?", "2", "3", "4", "5", "6", "7"}, 2, {tooMany}},
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
  for (const auto& c : cases) {
    const std::string label = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(Run(c.args), c.code) << label;
    EXPECT_EQ(printed_, c.printed) << label;
  }
}

TEST_F(RunSequenceTest, UsageTextIsEightLines) {
  const std::string usage = UsageText();
  EXPECT_EQ(usage.rfind("Vellumark PDF to Html Command Line Usage:\nQuirecast <Input filename> <Output Path> \n"
                        "Parameters\n<Input filename>:          Input filename.\n"
                        "<Output path>:         Output folder.\nExamples:\n"
                        "  Quirecast \"D:\\in\\sample1.pdf\" \"d:\\\" \n  ", 0),
            0U);
  EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 7);
  EXPECT_NE(usage.find("Vellumark", 50), std::string::npos) << "the notice names the publisher";
}

TEST_F(RunSequenceTest, MissingInputMakesNoFolder) {
  EXPECT_EQ(Run({"none.pdf", "out"}), 4);
  EXPECT_FALSE(Exists("out"));
}

TEST_F(RunSequenceTest, ArgumentsOneAndTwoAreTakenByPosition) {
  EXPECT_EQ(Run({"in.pdf", "-L5"}), 0);
  EXPECT_TRUE(Exists("-L5/in/in.html"));
  EXPECT_EQ(settings_.OutputFolder, "-L5");
  EXPECT_EQ(settings_.LoopCount, "5");
  EXPECT_EQ(settings_.VerboseLevel, "1");
  EXPECT_EQ(settings_.EngineArgs, "  \"in.pdf\"  \"-L5/in/in\"");
}

TEST_F(RunSequenceTest, FolderStaysWhenAnOptionFailsLater) {
  EXPECT_EQ(Run({"in.pdf", "kept", "-X10000"}), 8);
  EXPECT_TRUE(Exists("kept/in"));
  EXPECT_FALSE(Exists("kept/in/in.html"));
}

TEST_F(RunSequenceTest, ReportsWhatTheEngineLeft) {
  setenv("QUIRECAST_STANDIN", "fail", 1);
  EXPECT_EQ(Run({"in.pdf", "out/"}), 0);
  EXPECT_EQ(printed_, Lines{"Convert to: out/ [Failed]"});
  EXPECT_TRUE(Exists("out/in")) << "made before the engine ran";

  setenv("QUIRECAST_STANDIN", "write-fail", 1);
  EXPECT_EQ(Run({"in.pdf", "out/"}), 0);
  EXPECT_EQ(printed_, Lines{"Convert to: out/ [Success]"}) << "the engine's status is not read";

  // The file of the run before is still there, but this engine wrote nothing.
  setenv("QUIRECAST_STANDIN", "fail", 1);
  EXPECT_EQ(Run({"in.pdf", "out/"}), 0);
  EXPECT_EQ(printed_, Lines{"Convert to: out/ [Failed]"});
  EXPECT_TRUE(Exists("out/in/in.html")) << "nothing is deleted";
}

}  // namespace
