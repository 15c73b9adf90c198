// A fresh temporary folder that is the current folder while a test runs, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quirecast-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    ASSERT_EQ(getcwd(oldCwd_, sizeof oldCwd_), oldCwd_);
    ASSERT_EQ(chdir(root_.c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(oldCwd_), 0);
    EXPECT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0);
  }

  std::string root_;

 private:
  char oldCwd_[4096] = "";
};
