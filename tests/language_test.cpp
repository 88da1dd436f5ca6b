// Language files: the choice of language, the line parser and its odd
// cases, the message lookup, and the shipped files themselves.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "platform/posix/PosixPlatform.h"
#include "scan/DriverContext.h"
#include "support/TestPlatform.h"
#include "scan/Language.h"

namespace tarvo {
namespace {

// The language from the locale identifier, and its file by exact name.
TEST(LanguageChoice, FromTheLocaleAndFileByExactName) {
  using Pair = std::pair<const char*, const char*>;
  for (auto [id, language] :
       {Pair{"0411", "Japanese"}, Pair{"0c0A", "Spanish"}, Pair{"080A", "Spanish"},
        Pair{"040C", "French"}, Pair{"0807", "German"}, Pair{"0410", "Italian"},
        Pair{"0811", "English"}, Pair{"04", "English"}}) {
    EXPECT_STREQ(LanguageForLocaleId(id), language) << id;
  }
  for (auto [name, file] :
       {Pair{"Japanese", "rt650jp.txt"}, Pair{"Spanish", "rt650sp.txt"},
        Pair{"French", "rt650fr.txt"}, Pair{"German", "rt650ge.txt"},
        Pair{"Italian", "rt650it.txt"}, Pair{"japanese", "rt650us.txt"}}) {
    EXPECT_STREQ(LanguageFileName(name), file) << name;
  }
}

TEST(MessageTable, LookupRules) {
  MessageTable table;
  for (std::uint32_t id : {0u, 7u, 512u}) EXPECT_STREQ(table.Lookup(id), "Undefined string!!!");
  for (std::uint32_t id : {513u, 0xFFFFFFFFu}) EXPECT_STREQ(table.Lookup(id), "ID too large");
  table.Set(0, "none");  // entry 0 is what every undefined ID shows
  EXPECT_STREQ(table.Lookup(7), "none");
  table.Set(7, std::string(300, 'a'));
  EXPECT_EQ(std::string(table.Lookup(7)), std::string(255, 'a'));
}

TEST(LanguageLine, ParserCases) {
  const char* const empty = "Undefined string!!!";
  struct Case {
    const char* line;
    std::uint32_t id;
    const char* expected;
  };
  const Case cases[] = {
      {"12,\"Resolution\"\n", 12, empty},  // fourth character is not a comma
      {"013,no quotes here\n", 13, "013,no quotes here\n"},
      {"014,\"open only\n", 14, "open only\n"},
      {"015,\"a\" and \"b\"\n", 15, "a"},
      {"016,\"\"\n", 16, empty},  // an empty text leaves the entry empty
      {"513,\"too large\"\n", 513, "ID too large"},
      {"-01,\"negative\"\n", 1, empty},
      {"abc,\"not a number\"\n", 0, empty},
      {" 17,\"blank first\"\n", 17, "blank first"},
      {"01", 1, empty},
  };
  for (const Case& c : cases) {
    MessageTable table;
    ParseLanguageLine(table, c.line);
    EXPECT_STREQ(table.Lookup(c.id), c.expected) << c.line;
    EXPECT_STREQ(table.Lookup(0), empty) << c.line;  // what every undefined ID shows
  }
}

class LanguageFileTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  std::string Folder() { return platform.RootFile("windows/klxscan/"); }
  std::unique_ptr<DriverContext> LoadWith(const char* name) {
    auto context = std::make_unique<DriverContext>(platform);
    LoadLanguage(*context, name);
    return context;
  }
};

TEST_F(LanguageFileTest, ReadsTheFileOfTheLanguageLineByLine) {
  test::WriteFileBytes(Folder() + "rt650fr.txt",
                       "; French texts\r\n"
                       "007,\"first\"\r\n"
                       "007,\"second\"\r\n"
                       "008,\"R\xE9solution\"\r\n"
                       "009,bare\r\n"
                       "012\r\n");
  auto context = LoadWith("French");
  EXPECT_STREQ(context->state.currentLanguage.data(), "French");
  EXPECT_STREQ(LookupMessage(*context, 7), "second");
  EXPECT_STREQ(LookupMessage(*context, 8), "R\xE9solution");
  EXPECT_STREQ(LookupMessage(*context, 9), "009,bare\n");  // text mode: CR LF read as LF
  EXPECT_STREQ(LookupMessage(*context, 12), "Undefined string!!!");
}

TEST_F(LanguageFileTest, LongLinesAreReadInPiecesAndCtrlZEndsTheFile) {
  std::string longLine = "020,\"" + std::string(300, 'x') + "\"\n";
  // The rest of the long line begins "xxx..." at a new read: not a message line.
  test::WriteFileBytes(Folder() + "rt650us.txt",
                       longLine + "021,\"after\"\n\x1A" "022,\"hidden\"\n");
  auto context = LoadWith("English");
  EXPECT_EQ(std::string(LookupMessage(*context, 20)), std::string(250, 'x'));
  EXPECT_STREQ(LookupMessage(*context, 21), "after");
  EXPECT_STREQ(LookupMessage(*context, 22), "Undefined string!!!");
}

TEST_F(LanguageFileTest, UnknownOrLowerCaseNamesUseTheEnglishFileAndKeepTheName) {
  test::WriteFileBytes(Folder() + "rt650us.txt", "001,\"English\"\n");
  test::WriteFileBytes(Folder() + "rt650jp.txt", "001,\"Japanese\"\n");
  auto context = LoadWith("japanese");
  EXPECT_STREQ(context->state.currentLanguage.data(), "japanese");
  EXPECT_STREQ(LookupMessage(*context, 1), "English");
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

// The shipped language files: every one parses, defines the same IDs as the
// English file, and has a text for each ID the dialogs and boxes use.
TEST(ShippedLanguageFiles, DefineTheSameMessages) {
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
  for (std::uint32_t needed : {200u, 201u, 202u, 203u, 205u, 206u, 208u, 223u, 224u}) {
    EXPECT_TRUE(english.count(needed)) << "message " << needed;
  }
  for (const char* file : {"rt650jp.txt", "rt650sp.txt", "rt650fr.txt", "rt650ge.txt",
                           "rt650it.txt"}) {
    EXPECT_EQ(definedIds(file), english) << file;
  }
}

}  // namespace
}  // namespace tarvo
