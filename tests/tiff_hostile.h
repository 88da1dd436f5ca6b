// Runs every operation that reads outside files (the chain walk, the entry
// shift, joining in both directions, renaming) on arbitrary bytes and checks
// what must hold whatever the bytes are. Shared by the mutation test and the
// fuzz target.
#pragma once

#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

// Walks the chain of the file at `path` to link `pages` (kWalkToEnd: to its
// end), `pages` then holding the walk's index; 1 also when the file cannot be
// opened.
int WalkChainOf(Platform& platform, DriverContext& context, const std::string& path,
                std::uint32_t& pages);

class HostileBench {
 public:
  // Writes a small valid document (uncoded pages) to join with.
  HostileBench(TestPlatform& platform, DriverContext& context);

  // Returns an empty text when every property held, else what broke.
  std::string Exercise(const std::string& bytes);

  const std::string& validBytes() const { return validBytes_; }
  // How many inputs so far had a chain that could be walked to its end.
  int walkable() const { return walkable_; }
  int unwalkable() const { return unwalkable_; }

 private:
  struct Walk {
    int result = 1;
    std::uint32_t pages = 0;
  };
  Walk WalkFile(const std::string& path);
  std::string CheckWalks(const std::string& bytes);
  std::string CheckJoinInto(const std::string& bytes, const Walk& before);
  std::string CheckJoinFrom(const std::string& bytes, const Walk& before);
  std::string CheckRename(const std::string& bytes, const Walk& before);

  TestPlatform& platform_;
  DriverContext& context_;
  std::string hostile_;
  std::string valid_;
  std::string validBytes_;
  std::uint32_t validPages_ = 0;
  int walkable_ = 0;
  int unwalkable_ = 0;
};

// Our own documents, as seeds for mutations: uncoded and Group 4 pages, with
// and without long texts, renamed, joined, a single TsdMakeTiff page, a
// document without pages.
std::vector<std::string> SeedDocuments(TestPlatform& platform, DriverContext& context);

}  // namespace tarvo::test
