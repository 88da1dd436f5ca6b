// Language files: the choice of language, the line parser and its odd
// cases, and the shipped files themselves.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "platform/posix/PosixPlatform.h"
#include "scan/DriverContext.h"
#include "support/TestPlatform.h"
#include "scan/Language.h"

namespace tarvo {
namespace {

TEST(LanguageLine, ParserCases) {
  const char* const empty = "Undefined string!!!";
  for (auto [line, id, expected] : std::initializer_list<std::tuple<const char*, std::uint32_t, const char*>>{
           {"12,\"Resolution\"\n", 12, empty},  // fourth character is not a comma
           {"013,no quotes here\n", 13, "013,no quotes here\n"},
           {"014,\"open only\n", 14, "open only\n"},
           {"015,\"a\" and \"b\"\n", 15, "a"},
           {"016,\"\"\n", 16, empty},  // an empty text leaves the entry empty
           {"513,\"too large\"\n", 513, "ID too large"},
           {"-01,\"negative\"\n", 1, empty},
           {"abc,\"not a number\"\n", 0, empty},
           {" 17,\"blank first\"\n", 17, "blank first"},
           {"01", 1, empty}}) {
    MessageTable table;
    ParseLanguageLine(table, line);
    EXPECT_STREQ(table.Lookup(id), expected) << line;
    EXPECT_STREQ(table.Lookup(0), empty) << line;  // what every undefined ID shows
  }
}

// Each file read line by line; long lines in pieces; Ctrl-Z ends the file;
// unknown or lower-case names use the English file and keep the name.
TEST(LanguageFile, ReadsTheFileOfTheLanguageLineByLine) {
  test::TestPlatform platform;
  const std::string folder = platform.RootFile("windows/klxscan/");
  test::WriteFileBytes(folder + "rt650fr.txt",
                       "; French texts\r\n007,\"first\"\r\n007,\"second\"\r\n"
                       "008,\"R\xE9solution\"\r\n009,bare\r\n012\r\n");
  // The rest of the long line begins "xxx..." at a new read: not a message line.
  test::WriteFileBytes(folder + "rt650us.txt", "020,\"" + std::string(300, 'x') +
                                                   "\"\n021,\"after\"\n\x1A" "022,\"hidden\"\n");
  test::WriteFileBytes(folder + "rt650jp.txt", "021,\"Japanese\"\n");
  DriverContext french{platform}, english{platform};
  LoadLanguage(french, "French");
  EXPECT_STREQ(french.state.currentLanguage.data(), "French");
  EXPECT_STREQ(LookupMessage(french, 7), "second");
  EXPECT_STREQ(LookupMessage(french, 8), "R\xE9solution");
  EXPECT_STREQ(LookupMessage(french, 9), "009,bare\n");  // text mode: CR LF read as LF
  EXPECT_STREQ(LookupMessage(french, 12), "Undefined string!!!");
  LoadLanguage(english, "japanese");
  EXPECT_STREQ(english.state.currentLanguage.data(), "japanese");
  EXPECT_EQ(std::string(LookupMessage(english, 20)), std::string(250, 'x'));
  EXPECT_STREQ(LookupMessage(english, 21), "after");
  EXPECT_STREQ(LookupMessage(english, 22), "Undefined string!!!");
}

// An installed driver reads the share folder's files until the root has its own.
TEST(InstalledLanguageFiles, UsedWhileTheRootHasNone) {
  test::TempDir dir;
  PosixPlatform posix{PosixPlatformOptions{dir.File("c"), false, "", ""}, dir.File("share")};
  auto firstText = [&] {
    auto context = std::make_unique<DriverContext>(posix);
    LoadLanguage(*context, "English");
    return std::string(LookupMessage(*context, 1));
  };
  test::WriteFileBytes(dir.File("share/klxscan/rt650us.txt"), "001,\"installed\"\n");
  EXPECT_EQ(firstText(), "installed");
  test::WriteFileBytes(dir.File("c/windows/klxscan/rt650us.txt"), "001,\"own\"\n");
  EXPECT_EQ(firstText(), "own");
}

// The shipped language files, reached from the locale identifiers (a sub-language keeps its language, an
// unknown or short identifier is English): every one parses, defines the same IDs as the English file, and has a
// text for each ID the dialogs and boxes use.
TEST(ShippedLanguageFiles, DefineTheSameMessages) {
  for (auto [id, language] : {std::pair{"080A", "Spanish"}, {"0811", "English"}, {"04", "English"}}) {
    EXPECT_STREQ(LanguageForLocaleId(id), language) << id;
  }
  const std::filesystem::path folder = TARVOSCN_LANGUAGE_DIR;
  auto definedIds = [&](const char* file) {
    std::istringstream text(test::ReadFileBytes((folder / file).string()));
    std::set<std::uint32_t> ids;
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      EXPECT_LT(line.size(), 255u) << file << ": " << line;
      MessageTable one;
      ParseLanguageLine(one, line + "\n");
      for (std::uint32_t id = 1; id <= kMaxMessageId; ++id)
        if (std::string(one.Lookup(id)) != "Undefined string!!!") ids.insert(id);
    }
    return ids;
  };
  const std::set<std::uint32_t> english = definedIds("rt650us.txt");
  ASSERT_GT(english.size(), 100u);
  for (std::uint32_t needed : {200u, 201u, 202u, 203u, 205u, 206u, 208u, 223u, 224u}) EXPECT_TRUE(english.count(needed)) << needed;
  std::set<std::string> files;  // one of its own for each language
  for (const char* id : {"0411", "0c0A", "040C", "0807", "0410"}) {
    const char* file = LanguageFileName(LanguageForLocaleId(id));
    files.insert(file);
    EXPECT_EQ(definedIds(file), english) << id;
  }
  EXPECT_EQ(files.size(), 5u);
  EXPECT_FALSE(files.count("rt650us.txt"));
}

}  // namespace
}  // namespace tarvo
