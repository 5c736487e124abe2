#include "mcp/detail/json_text.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mcp::detail {
namespace {

TEST(JSONText, ParsesBoundedDocumentsOnly) {
  struct Row {
    const char* name;
    std::string text;
    bool parses;
  };
  const std::vector<Row> rows = {
      {"64 nested arrays", std::string(64, '[') + std::string(64, ']'), true},
      {"65 nested arrays", std::string(65, '[') + std::string(65, ']'), false},
      {"very deep objects", std::string(100000, '{'), false},
      {"brackets inside strings do not nest",
       "[" + std::string(63, '[') + R"("[[[[{{{{\"[[[[")" + std::string(64, ']'), true},
      {"deep but invalid", std::string(10, '[') + "1,]" + std::string(10, ']'), false},
      {"huge integer", "123456789012345678901234567890", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(parseJSON(row.text).has_value(), row.parses);
  }
  EXPECT_EQ(encodeJSON(nlohmann::json("a\xff/b")), "\"a\xEF\xBF\xBD/b\"");
}

}  // namespace
}  // namespace mcp::detail
