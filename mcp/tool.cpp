#include "mcp/tool.h"

#include <nlohmann/json.hpp>

#include "mcp/detail/coding.h"
#include "mcp/detail/overloaded.h"

namespace mcp {
namespace {

std::optional<Value> optionalMeta(const nlohmann::json& json) {
  return detail::optionalValue(json, "_meta");
}

}  // namespace

nlohmann::json Tool::Annotations::toJSON() const {
  nlohmann::json json = nlohmann::json::object();
  detail::putOptional(json, "title", title);
  detail::putOptional(json, "readOnlyHint", readOnlyHint);
  detail::putOptional(json, "destructiveHint", destructiveHint);
  detail::putOptional(json, "idempotentHint", idempotentHint);
  detail::putOptional(json, "openWorldHint", openWorldHint);
  return json;
}

Tool::Annotations Tool::Annotations::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "tool annotations");
  return {detail::optionalString(json, "title"), detail::optionalBool(json, "readOnlyHint"),
          detail::optionalBool(json, "destructiveHint"),
          detail::optionalBool(json, "idempotentHint"),
          detail::optionalBool(json, "openWorldHint")};
}

nlohmann::json Tool::Content::toJSON() const {
  nlohmann::json json = std::visit(
      detail::Overloaded{
          [](const Text& block) -> nlohmann::json {
            return {{"type", "text"}, {"text", block.text}};
          },
          [](const Image& block) -> nlohmann::json {
            return {{"type", "image"}, {"data", block.data}, {"mimeType", block.mimeType}};
          },
          [](const Audio& block) -> nlohmann::json {
            return {{"type", "audio"}, {"data", block.data}, {"mimeType", block.mimeType}};
          },
          [](const Resource& block) -> nlohmann::json {
            nlohmann::json contents = {{"uri", block.uri}};
            detail::putOptional(contents, "mimeType", block.mimeType);
            detail::putOptional(contents, "text", block.text);
            detail::putOptional(contents, "blob", block.blob);
            return {{"type", "resource"}, {"resource", std::move(contents)}};
          },
          [](const ResourceLink& block) -> nlohmann::json {
            nlohmann::json json = {
                {"type", "resource_link"}, {"uri", block.uri}, {"name", block.name}};
            detail::putOptional(json, "title", block.title);
            detail::putOptional(json, "description", block.description);
            detail::putOptional(json, "mimeType", block.mimeType);
            return json;
          },
      },
      block_);
  detail::putOptional(json, "annotations", annotations_);
  detail::putOptional(json, "_meta", meta_);
  return json;
}

Tool::Content Tool::Content::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "tool content");
  const std::string type = detail::requiredString(json, "type");
  auto annotations = detail::optionalValue(json, "annotations");
  auto meta = optionalMeta(json);
  auto make = [&](Case block) { return Content(std::move(block), annotations, meta); };
  if (type == "text") return make(Text{detail::requiredString(json, "text")});
  if (type == "image") {
    return make(
        Image{detail::requiredString(json, "data"), detail::requiredString(json, "mimeType")});
  }
  if (type == "audio") {
    return make(
        Audio{detail::requiredString(json, "data"), detail::requiredString(json, "mimeType")});
  }
  if (type == "resource") {
    const nlohmann::json* contents = detail::present(json, "resource");
    if (!contents) throw DecodingError::keyNotFound("resource");
    detail::requireObject(*contents, "resource contents");
    Resource resource{
        detail::requiredString(*contents, "uri"), detail::optionalString(*contents, "mimeType"),
        detail::optionalString(*contents, "text"), detail::optionalString(*contents, "blob")};
    if (!resource.text && !resource.blob) {
      throw DecodingError::dataCorrupted("Resource contents need text or blob");
    }
    return make(std::move(resource));
  }
  if (type == "resource_link") {
    return make(ResourceLink{
        detail::requiredString(json, "uri"), detail::requiredString(json, "name"),
        detail::optionalString(json, "title"), detail::optionalString(json, "description"),
        detail::optionalString(json, "mimeType")});
  }
  throw DecodingError::dataCorrupted("Unknown tool content type");
}

nlohmann::json Tool::toJSON() const {
  nlohmann::json json = {{"name", name},
                         {"description", description ? nlohmann::json(*description) : nullptr},
                         {"inputSchema", inputSchema.toJSON()}};
  detail::putOptional(json, "title", title);
  detail::putOptional(json, "outputSchema", outputSchema);
  if (!annotations.isEmpty()) json["annotations"] = annotations.toJSON();
  detail::putOptional(json, "icons", icons);
  detail::putOptional(json, "_meta", meta);
  return json;
}

Tool Tool::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "a tool");
  Tool tool;
  tool.name = detail::requiredString(json, "name");
  const nlohmann::json* schema = detail::present(json, "inputSchema");
  if (!schema) throw DecodingError::keyNotFound("inputSchema");
  tool.inputSchema = Value::fromJSON(*schema);
  tool.title = detail::optionalString(json, "title");
  tool.description = detail::optionalString(json, "description");
  tool.outputSchema = detail::optionalValue(json, "outputSchema");
  if (const nlohmann::json* annotations = detail::present(json, "annotations")) {
    tool.annotations = Annotations::fromJSON(*annotations);
  }
  tool.icons = detail::optionalArray<Icon>(json, "icons");
  tool.meta = optionalMeta(json);
  return tool;
}

nlohmann::json ListTools::Parameters::toJSON() const {
  nlohmann::json json = nlohmann::json::object();
  detail::putOptional(json, "cursor", cursor);
  return json;
}

ListTools::Parameters ListTools::Parameters::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "tools/list parameters");
  return {detail::optionalString(json, "cursor")};
}

nlohmann::json ListTools::Result::toJSON() const {
  nlohmann::json json = {{"tools", detail::encode(tools)}};
  detail::putOptional(json, "nextCursor", nextCursor);
  detail::putOptional(json, "_meta", meta);
  return json;
}

ListTools::Result ListTools::Result::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "a tools/list result");
  auto tools = detail::optionalArray<Tool>(json, "tools");
  if (!tools) throw DecodingError::keyNotFound("tools");
  return {std::move(*tools), detail::optionalString(json, "nextCursor"), optionalMeta(json)};
}

nlohmann::json CallTool::Parameters::toJSON() const {
  nlohmann::json json = {{"name", name}};
  if (arguments) json["arguments"] = Value(*arguments).toJSON();
  detail::putOptional(json, "_meta", meta);
  return json;
}

CallTool::Parameters CallTool::Parameters::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "tools/call parameters");
  Parameters parameters{detail::requiredString(json, "name"), std::nullopt, optionalMeta(json)};
  if (const nlohmann::json* arguments = detail::present(json, "arguments")) {
    if (!arguments->is_object())
      throw DecodingError::dataCorrupted("Expected an object for \"arguments\"");
    parameters.arguments = *Value::fromJSON(*arguments).objectValue();
  }
  return parameters;
}

nlohmann::json CallTool::Result::toJSON() const {
  nlohmann::json json = {{"content", detail::encode(content)}};
  detail::putOptional(json, "structuredContent", structuredContent);
  detail::putOptional(json, "isError", isError);
  detail::putOptional(json, "_meta", meta);
  return json;
}

CallTool::Result CallTool::Result::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "a tools/call result");
  auto content = detail::optionalArray<Tool::Content>(json, "content");
  if (!content) throw DecodingError::keyNotFound("content");
  return {std::move(*content), detail::optionalValue(json, "structuredContent"),
          detail::optionalBool(json, "isError"), optionalMeta(json)};
}

}  // namespace mcp
