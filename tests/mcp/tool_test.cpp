#include "mcp/tool.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace mcp {
namespace {

using nlohmann::json;

TEST(Tool, WritesTheCatalogueShape) {
  struct Row {
    const char* name;
    Tool tool;
    std::string written;
  };
  Tool bare{.name = "t", .inputSchema = Value::object({{"type", "object"}})};
  Tool full = bare;
  full.title = "T";
  full.description = "Does t.";
  full.annotations.readOnlyHint = true;
  full.annotations.openWorldHint = false;
  const std::vector<Row> rows = {
      {"no description, no annotations", bare,
       R"({"description":null,"inputSchema":{"type":"object"},"name":"t"})"},
      {"annotations that are set", full,
       R"({"annotations":{"openWorldHint":false,"readOnlyHint":true},"description":"Does t.","inputSchema":{"type":"object"},"name":"t","title":"T"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.tool.toJSON().dump(), row.written);
    EXPECT_EQ(Tool::fromJSON(json::parse(row.written)), row.tool);
  }
  EXPECT_THAT([] { (void)Tool::fromJSON(json::parse(R"({"name":"t"})")); },
              testing::ThrowsMessage<DecodingError>("No value for key \"inputSchema\""));
}

TEST(ToolContent, WritesEachCaseAndRefusesUnknownTypes) {
  struct Row {
    const char* name;
    Tool::Content content;
    std::string written;
  };
  const std::vector<Row> rows = {
      {"text", Tool::Content::text("hi"), R"({"text":"hi","type":"text"})"},
      {"text with meta", Tool::Content::text("hi", Value::object({{"k", 1}})),
       R"({"_meta":{"k":1},"text":"hi","type":"text"})"},
      {"image", Tool::Content::image("AAEC", "image/png"),
       R"({"data":"AAEC","mimeType":"image/png","type":"image"})"},
      {"audio", Tool::Content::audio("AAEC", "audio/mp4"),
       R"({"data":"AAEC","mimeType":"audio/mp4","type":"audio"})"},
      {"resource", Tool::Content::resource({.uri = "x:/1", .text = "t"}),
       R"({"resource":{"text":"t","uri":"x:/1"},"type":"resource"})"},
      {"resource link", Tool::Content::resourceLink({.uri = "x:/1", .name = "one"}),
       R"({"name":"one","type":"resource_link","uri":"x:/1"})"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.content.toJSON().dump(), row.written);
    EXPECT_EQ(Tool::Content::fromJSON(json::parse(row.written)), row.content);
  }
  EXPECT_THAT([] { (void)Tool::Content::fromJSON(json::parse(R"({"type":"video"})")); },
              testing::ThrowsMessage<DecodingError>("Unknown tool content type"));
}

}  // namespace
}  // namespace mcp
