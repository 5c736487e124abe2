#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "music/tools.h"

namespace melodock {
namespace {

// The twenty tools as an agent reads them on tools/list, in order, byte for byte: one
// line of the data file each.
TEST(ToolCatalogue, ListsEachToolAsTheAgentReadsIt) {
  std::ifstream file(MELODOCK_MUSIC_TEST_DATA "/tool_catalogue.jsonl", std::ios::binary);
  std::vector<std::string> expected;
  for (std::string line; std::getline(file, line);) expected.push_back(line);
  const std::vector<mcp::Tool>& tools = Tools::all();
  ASSERT_EQ(tools.size(), 20U);
  ASSERT_EQ(expected.size(), tools.size());
  for (std::size_t index = 0; index < tools.size(); ++index) {
    SCOPED_TRACE(index);
    EXPECT_EQ(tools[index].toJSON().dump(), expected[index]);
  }
}

}  // namespace
}  // namespace melodock
