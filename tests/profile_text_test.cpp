// Settings-file text: lookups and in-place edits.
#include <gtest/gtest.h>

#include "platform/ProfileText.h"

namespace tarvo::profile {
namespace {

TEST(ProfileText, FindsKeysOnlyInTheirSection) {
  const char* text =
      "; comment\r\n"
      "[Pagewell.exe]\r\n"
      "  ROTATE90 = TRUE  \r\n"
      "LANGUAGE=\"Japanese\"\r\n"
      "[Rtscan65.exe]\r\n"
      "ROTATE90=FALSE\r\n";
  EXPECT_EQ(Find(text, "pagewell.exe", "rotate90"), "TRUE");
  EXPECT_EQ(Find(text, "Pagewell.exe", "LANGUAGE"), "Japanese");
  EXPECT_EQ(Find(text, "Rtscan65.exe", "ROTATE90"), "FALSE");
  EXPECT_EQ(Find(text, "Rtscan65.exe", "LANGUAGE"), std::nullopt);
  EXPECT_EQ(Find(text, "Other.exe", "ROTATE90"), std::nullopt);
  EXPECT_EQ(Find("", "A", "B"), std::nullopt);
  EXPECT_EQ(Find("[A]\nB=\n", "A", "B"), "");
}

TEST(ProfileText, WriteReplacesInPlaceAppendsToSectionOrAddsSection) {
  std::string text = "[A]\nx=1\ny=2\n\n[B]\nx=3\n";
  EXPECT_EQ(Write(text, "a", "Y", "9", "\n"), "[A]\nx=1\nY=9\n\n[B]\nx=3\n");
  EXPECT_EQ(Write(text, "A", "z", "5", "\n"), "[A]\nx=1\ny=2\nz=5\n\n[B]\nx=3\n");
  EXPECT_EQ(Write(text, "C", "k", "v", "\n"), "[A]\nx=1\ny=2\n\n[B]\nx=3\n[C]\nk=v\n");
  EXPECT_EQ(Write("", "C", "k", "v", "\r\n"), "[C]\r\nk=v\r\n");
  EXPECT_EQ(Write("[C]\nk=v", "C", "m", "w", "\n"), "[C]\nk=v\nm=w\n");
  // A null value removes the key; removing a missing key changes nothing.
  EXPECT_EQ(Write(text, "A", "x", nullptr, "\n"), "[A]\ny=2\n\n[B]\nx=3\n");
  EXPECT_EQ(Write(text, "A", "q", nullptr, "\n"), text);
}

}  // namespace
}  // namespace tarvo::profile
