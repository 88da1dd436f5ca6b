// tarvoscn.conf and the folders it is looked for in.
#include <gtest/gtest.h>

#include "../../sane/Config.h"

namespace tarvo::sanebackend {
namespace {

TEST(SaneConfig, FoldersFollowSaneConfigDir) {
  using Folders = std::vector<std::string>;
  EXPECT_EQ(ConfigFolders(nullptr), Folders{"/etc/sane.d"});
  EXPECT_EQ(ConfigFolders(""), Folders{"/etc/sane.d"});
  EXPECT_EQ(ConfigFolders("a::b"), (Folders{"a", "b"}));
  EXPECT_EQ(ConfigFolders("a:"), (Folders{"a", "/etc/sane.d"}));  // a trailing colon adds the system's
}

TEST(SaneConfig, StatementsRelativePathsAndBadLines) {
  const DriverConfig c = ParseConfig(
      "# comment\n  aspi lib/sim.so  # the simulator\r\nsimulator /abs/sim.conf\n"
      "adapter 2\nadapter -1\nadapter 3x\nadapter\nadapter 256\nunknown 1\n\nadapter 0",
      "/etc/x");
  EXPECT_EQ(c.aspiLibrary, "/etc/x/lib/sim.so");
  EXPECT_EQ(c.simulatorConfig, "/abs/sim.conf");
  EXPECT_EQ(c.adapters, (std::vector<int>{2, 0}));
  EXPECT_TRUE(ParseConfig("", "/etc/x").aspiLibrary.empty());  // the system's provider
}

}  // namespace
}  // namespace tarvo::sanebackend
