// The tool messages: the `Tool` description, the content blocks that carry tool
// output, and the `tools/list` and `tools/call` methods.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "mcp/icon.h"
#include "mcp/messages.h"
#include "mcp/value.h"

namespace mcp {

struct Tool {
  // Hints about a tool's behaviour; each written only when set.
  struct Annotations {
    std::optional<std::string> title{};
    std::optional<bool> readOnlyHint{};
    std::optional<bool> destructiveHint{};
    std::optional<bool> idempotentHint{};
    std::optional<bool> openWorldHint{};

    [[nodiscard]] bool isEmpty() const {
      return !title && !readOnlyHint && !destructiveHint && !idempotentHint && !openWorldHint;
    }
    [[nodiscard]] nlohmann::json toJSON() const;
    static Annotations fromJSON(const nlohmann::json& json);
    bool operator==(const Annotations&) const = default;
  };

  // One block of tool output, a JSON object whose `type` names the case.
  class Content {
   public:
    struct Text {
      std::string text{};
      bool operator==(const Text&) const = default;
    };
    struct Image {
      std::string data{};  // Base64
      std::string mimeType{};
      bool operator==(const Image&) const = default;
    };
    struct Audio {
      std::string data{};  // Base64
      std::string mimeType{};
      bool operator==(const Audio&) const = default;
    };
    // Embedded resource contents: `text` or `blob` (Base64), one of the two.
    struct Resource {
      std::string uri{};
      std::optional<std::string> mimeType{};
      std::optional<std::string> text{};
      std::optional<std::string> blob{};
      bool operator==(const Resource&) const = default;
    };
    struct ResourceLink {
      std::string uri{};
      std::string name{};
      std::optional<std::string> title{};
      std::optional<std::string> description{};
      std::optional<std::string> mimeType{};
      bool operator==(const ResourceLink&) const = default;
    };
    using Case = std::variant<Text, Image, Audio, Resource, ResourceLink>;

    Content(Case block, std::optional<Value> annotations = std::nullopt,
            std::optional<Value> meta = std::nullopt)
        : block_(std::move(block)), annotations_(std::move(annotations)), meta_(std::move(meta)) {}

    static Content text(std::string text, std::optional<Value> metadata = std::nullopt) {
      return {Text{std::move(text)}, std::nullopt, std::move(metadata)};
    }
    static Content image(std::string base64, std::string mimeType) {
      return {Image{std::move(base64), std::move(mimeType)}};
    }
    static Content audio(std::string base64, std::string mimeType) {
      return {Audio{std::move(base64), std::move(mimeType)}};
    }
    static Content resource(Resource contents) { return {std::move(contents)}; }
    static Content resourceLink(ResourceLink link) { return {std::move(link)}; }

    [[nodiscard]] const Case& block() const { return block_; }
    [[nodiscard]] const std::optional<Value>& annotations() const { return annotations_; }
    [[nodiscard]] const std::optional<Value>& meta() const { return meta_; }

    [[nodiscard]] nlohmann::json toJSON() const;
    // Throws DecodingError "Unknown tool content type" for a `type` outside the cases.
    static Content fromJSON(const nlohmann::json& json);
    bool operator==(const Content&) const = default;

   private:
    Case block_;
    std::optional<Value> annotations_{};
    std::optional<Value> meta_{};
  };

  std::string name{};
  std::optional<std::string> title{};
  std::optional<std::string> description{};  // written as null when absent
  Value inputSchema{};                       // a JSON Schema object
  Annotations annotations{};                 // written only when a field is set
  std::optional<Value> outputSchema{};
  std::optional<std::vector<Icon>> icons{};
  std::optional<Value> meta{};  // `_meta`

  [[nodiscard]] nlohmann::json toJSON() const;
  // `name` and `inputSchema` are required.
  static Tool fromJSON(const nlohmann::json& json);
  bool operator==(const Tool&) const = default;
};

struct ListTools {
  static constexpr std::string_view name = "tools/list";

  struct Parameters {
    static constexpr bool kNotRequired = true;
    std::optional<std::string> cursor{};

    [[nodiscard]] nlohmann::json toJSON() const;
    static Parameters fromJSON(const nlohmann::json& json);
  };
  struct Result {
    std::vector<Tool> tools{};
    std::optional<std::string> nextCursor{};
    std::optional<Value> meta{};  // `_meta`

    [[nodiscard]] nlohmann::json toJSON() const;
    static Result fromJSON(const nlohmann::json& json);
  };
};

struct CallTool {
  static constexpr std::string_view name = "tools/call";

  struct Parameters {
    std::string name{};
    std::optional<Value::Object> arguments{};
    std::optional<Value> meta{};  // `_meta`

    [[nodiscard]] nlohmann::json toJSON() const;
    static Parameters fromJSON(const nlohmann::json& json);
  };
  struct Result {
    std::vector<Tool::Content> content{};
    std::optional<Value> structuredContent{};
    std::optional<bool> isError{};
    std::optional<Value> meta{};  // `_meta`

    [[nodiscard]] nlohmann::json toJSON() const;
    static Result fromJSON(const nlohmann::json& json);
  };
};

struct ToolListChangedNotification {
  static constexpr std::string_view name = "notifications/tools/list_changed";
  using Parameters = Empty;
};

}  // namespace mcp
