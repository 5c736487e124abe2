// Values and tools in their JSON forms.
#include "mcp/value.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"
#include "mcp/id.h"
#include "mcp/tool.h"

namespace mcp {
namespace {

using nlohmann::json;

Value decode(const std::string& text) { return Value::fromJSON(json::parse(text)); }

TEST(Value, DecodesEachJSONFormToItsCaseAndWritesItBack) {
  struct Row {
    const char* name;
    std::string json;
    Value expected;
    std::string written;
  };
  const std::vector<Row> rows = {
      {"null", "null", nullptr, "null"},
      {"true is bool, never int", "true", true, "true"},
      {"one is int", "1", 1, "1"},
      {"whole double is int", "2.0", 2, "2"},
      {"fraction is double", "1.5", 1.5, "1.5"},
      {"negative zero is int zero", "-0.0", 0, "0"},
      {"large double", "1e300", 1e300, "1e+300"},
      {"int64 max stays exact", "9223372036854775807", INT64_MAX, "9223372036854775807"},
      {"int64 min stays exact", "-9223372036854775808", INT64_MIN, "-9223372036854775808"},
      {"uint64 above int64 becomes double", "18446744073709551615", 18446744073709551615.0,
       "1.8446744073709552e+19"},
      {"2^63 as a float is not an int", "9.223372036854775808e18", 9223372036854775808.0,
       "9.223372036854776e+18"},
      {"plain text", "\"a/b\"", "a/b", "\"a/b\""},
      {"base64 data URL", "\"data:image/png;base64,AAEC\"",
       Value::data(std::string("\x00\x01\x02", 3), "image/png"), "\"data:image/png;base64,AAEC\""},
      {"percent-encoded data URL", "\"data:,a%20b\"", Value::data("a b", "text/plain"),
       "\"data:text/plain;base64,YSBi\""},
      {"charset joins a text type", "\"data:text/plain;charset=utf-8,hi\"",
       Value::data("hi", "text/plain;charset=utf-8"),
       "\"data:text/plain;charset=utf-8;base64,aGk=\""},
      {"bad base64 stays text", "\"data:image/png;base64,A===\"",
       "data:image/png;base64,A===", "\"data:image/png;base64,A===\""},
      {"bad percent escape stays text", "\"data:,%zz\"", "data:,%zz", "\"data:,%zz\""},
      {"unknown parameter stays text", "\"data:text/plain;x=y,hi\"", "data:text/plain;x=y,hi",
       "\"data:text/plain;x=y,hi\""},
      {"array", "[1,\"x\",null]", Value::array({1, "x", nullptr}), "[1,\"x\",null]"},
      {"object keys come out sorted", "{\"b\":1,\"a\":{\"c\":[]}}",
       Value::object({{"a", Value::object({{"c", Value::Array{}}})}, {"b", 1}}),
       "{\"a\":{\"c\":[]},\"b\":1}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Value value = decode(row.json);
    EXPECT_EQ(value, row.expected);
    EXPECT_EQ(value.toJSON().dump(), row.written);
    EXPECT_EQ(std::hash<Value>()(value), std::hash<Value>()(row.expected));
  }
}

TEST(Value, DescribesEachCase) {
  struct Row {
    Value value;
    std::string text;
  };
  const std::vector<Row> rows = {
      {nullptr, ""},
      {true, "true"},
      {-7, "-7"},
      {1.0, "1.0"},
      {0.25, "0.25"},
      {"t", "t"},
      {Value::data("hi"), "data:text/plain;base64,aGk="},
      {Value::array({1, "a"}), "[1, a]"},
      {Value::object({{"b", 2}, {"a", Value::Array{}}}), "[a: [], b: 2]"},
      {Value::Object{}, "[:]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(row.value.description(), row.text);
  }
}

TEST(Value, ConvertsStrictlyAndLeniently) {
  struct Row {
    const char* name;
    Value value;
    std::optional<bool> strictBool, lenientBool;
    std::optional<std::int64_t> strictInt, lenientInt;
    std::optional<double> lenientDouble;
    std::optional<std::string> lenientText;
  };
  constexpr std::nullopt_t no = std::nullopt;
  const std::vector<Row> rows = {
      {"bool", true, true, true, no, no, no, "true"},
      {"int 1", 1, no, true, 1, 1, 1.0, "1"},
      {"int 2", 2, no, no, 2, 2, 2.0, "2"},
      {"double 0.0", 0.0, no, false, no, 0, 0.0, "0.0"},
      {"double 2.5", 2.5, no, no, no, no, 2.5, "2.5"},
      {"huge double", 1e30, no, no, no, no, 1e30, "1e+30"},
      {"text yes", "yes", no, true, no, no, no, "yes"},
      {"text off", "off", no, false, no, no, no, "off"},
      {"text TRUE is not a Boolean", "TRUE", no, no, no, no, no, "TRUE"},
      {"text 42", "42", no, no, no, 42, 42.0, "42"},
      {"text 0", "0", no, false, no, 0, 0.0, "0"},
      {"text 4.5", "4.5", no, no, no, no, 4.5, "4.5"},
      {"text beyond int64", "99999999999999999999", no, no, no, no, 1e20, "99999999999999999999"},
      {"null", nullptr, no, no, no, no, no, no},
      {"array", Value::array({1}), no, no, no, no, no, no},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(toBool(row.value, true), row.strictBool);
    EXPECT_EQ(toBool(row.value, false), row.lenientBool);
    EXPECT_EQ(toInt(row.value, true), row.strictInt);
    EXPECT_EQ(toInt(row.value, false), row.lenientInt);
    EXPECT_EQ(toDouble(row.value, false), row.lenientDouble);
    EXPECT_EQ(toText(row.value, false), row.lenientText);
    EXPECT_EQ(toText(row.value, true).has_value(), row.value.stringValue() != nullptr);
  }
}

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
