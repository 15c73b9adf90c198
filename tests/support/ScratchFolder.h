// A fresh temporary folder that is the current folder while a test runs, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char Pattern[] = "/tmp/quirecast-test-XXXXXX";
    ASSERT_NE(mkdtemp(Pattern), nullptr);
    Root = Pattern;
    ASSERT_EQ(getcwd(OldCwd_, sizeof OldCwd_), OldCwd_);
    ASSERT_EQ(chdir(Root.c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(OldCwd_), 0);
    EXPECT_EQ(std::system(("rm -rf '" + Root + "'").c_str()), 0);
  }

  std::string Root;

 private:
  char OldCwd_[4096] = "";
};
