// Numbers are written the same on every platform, rounded from their exact value as glibc's printf does.
#include "base/Numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Engine;

// glibc's printf rounds the exact binary value, halves to even; it is the reference on Linux.
std::string Printf(double Value, int Decimals) {
  char Buffer[512];
  std::snprintf(Buffer, sizeof Buffer, "%.*f", Decimals, Value);
  std::string Out = Buffer;
  if (Out.find('.') != std::string::npos) {
    while (Out.back() == '0') Out.pop_back();
    if (Out.back() == '.') Out.pop_back();
  }
  if (Out == "-0") Out = "0";
  return Out;
}

TEST(FormatNumberExact, HalvesGoToTheEvenDigitAndNearHalvesToTheNearest) {
  const struct {
    double Value;
    int Decimals;
    const char* Out;
  } Cases[] = {
      {0.6953125, 6, "0.695312"},  // an exact half: Windows' runtime writes 0.695313
      {0.6953126, 6, "0.695313"},
      {2.5, 0, "2"},
      {3.5, 0, "4"},
      {-2.5, 0, "-2"},
      {0.125, 2, "0.12"},
      {0.375, 2, "0.38"},
      {1.005, 2, "1"},  // 1.00499999999999989...
      {-0.004, 2, "0"},
      {1e23, 2, "99999999999999991611392"},
      {1e-7, 3, "0"},
      {123456.789, 0, "123457"},
      {5e-324, 30, "0"},
      {0.1, 30, "0.100000000000000005551115123126"},  // its exact binary value
  };
  for (const auto& Case : Cases) EXPECT_EQ(FormatNumber(Case.Value, Case.Decimals), Case.Out) << Case.Value;
}

TEST(FormatNumberExact, AgreesWithGlibcOnRandomValuesOfEveryScale) {
  std::mt19937_64 Random(20261209);
  std::uniform_real_distribution<double> Mantissa(-1, 1);
  std::uniform_int_distribution<int> Exponent(-30, 70);
  std::uniform_int_distribution<int> Decimals(0, 12);
  std::uniform_int_distribution<long long> Odd(-(1ll << 40), 1ll << 40);
  for (int I = 0; I < 200000; ++I) {
    double Value = std::ldexp(Mantissa(Random), Exponent(Random));
    const int Places = Decimals(Random);
    // Every fourth value is an exact half of the last decimal, where the runtimes disagree:
    // an odd multiple of 2^-(Places+1) ends in a 5 at decimal Places+1.
    if (I % 4 == 0) Value = std::ldexp(static_cast<double>(Odd(Random) | 1), -(Places + 1));
    ASSERT_EQ(FormatNumber(Value, Places), Printf(Value, Places)) << Value << " with " << Places;
  }
}

TEST(FormatNumber, ShortestFixedForm) {
  const struct {
    double Value;
    int Decimals;
    const char* Out;
  } Cases[] = {{12.5, 3, "12.5"}, {3.0, 2, "3"}, {-0.25, 2, "-0.25"}, {-0.001, 2, "0"}, {1.23456, 3, "1.235"},
               {1e20, 2, "100000000000000000000"}, {std::nan(""), 2, "0"}};
  for (const auto& Case : Cases) EXPECT_EQ(FormatNumber(Case.Value, Case.Decimals), Case.Out) << Case.Value;
}

// A number is read as strtod reads it in the C locale, to the last bit and the last character.
TEST(ReadNumberAt, ReadsAsStrtod) {
  const char* Cases[] = {"12",    "-0.5",   "+.25",   ".5e-3", "0012.50", "1e",  "1e+",   "12px",
                         "-0",    "1e-400", "1e400",  "-1e400", "3.14159265358979323846264338327950288",
                         "1,2",   "7 8",    "+-1",    "+",     "-",       ".",   "e5",    "x",
                         "0.1000000000000000055511151231257827021181583404541015625"};
  for (const std::string Text : Cases) {
    char* End = nullptr;
    const double Expected = std::strtod(Text.c_str(), &End);
    const size_t ExpectedLength = static_cast<size_t>(End - Text.c_str());
    size_t Pos = 0;
    double Value = -99;
    const bool Read = ReadNumberAt(Text, Pos, Value);
    EXPECT_EQ(Read, ExpectedLength > 0) << Text;
    if (!Read) continue;
    EXPECT_EQ(Pos, ExpectedLength) << Text;
    EXPECT_EQ(std::memcmp(&Value, &Expected, sizeof Value), 0) << Text << ": " << Value << " for " << Expected;
  }
  // Every digit of numbers as cairo and printf write them, at every scale.
  std::mt19937_64 Random(20261211);
  std::uniform_real_distribution<double> Mantissa(-1, 1);
  std::uniform_int_distribution<int> Exponent(-40, 60);
  for (int I = 0; I < 100000; ++I) {
    char Buffer[64];
    std::snprintf(Buffer, sizeof Buffer, I % 2 == 0 ? "%.17g" : "%.6f", std::ldexp(Mantissa(Random), Exponent(Random)));
    size_t Pos = 0;
    double Value = 0;
    ASSERT_TRUE(ReadNumberAt(Buffer, Pos, Value)) << Buffer;
    ASSERT_EQ(Value, std::strtod(Buffer, nullptr)) << Buffer;
    ASSERT_EQ(Pos, std::strlen(Buffer)) << Buffer;
  }
}

}  // namespace
