// Runs every operation that reads outside files (chain walk, entry shift, joining
// both ways, renaming) on any bytes and checks what must hold whatever they are.
#pragma once

#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

// Walks the chain of the file at `path` to link `pages` (kWalkToEnd: to its
// end), leaving the walk's index in `pages`; 1 also when it cannot be opened.
int WalkChainOf(Platform& platform, DriverContext& context, const std::string& path,
                std::uint32_t& pages);

class HostileBench {
 public:
  HostileBench(TestPlatform& platform, DriverContext& context);  // writes a document to join
  // Returns an empty text when every property held, else what broke.
  std::string Exercise(const std::string& bytes);
  // How many inputs so far had a chain that could be walked to its end.
  int walkable() const { return walkable_; }
  int unwalkable() const { return unwalkable_; }

 private:
  struct Walk { int result = 1; std::uint32_t pages = 0; };
  Walk WalkFile(const std::string& path);
  // "" when the chain of `path` walks to its end over `pages` pages.
  std::string CheckPages(const std::string& what, const std::string& path, std::uint32_t pages);
  std::string CheckWalks(const std::string& bytes);
  std::string CheckJoin(const std::string& bytes, const Walk& before, bool into);
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

// Our own documents as seeds for mutations: uncoded and Group 4 pages, long
// and short texts, renamed, joined, a TsdMakeTiff page, no pages.
std::vector<std::string> SeedDocuments(TestPlatform& platform, DriverContext& context);

}  // namespace tarvo::test
