// What the bridge learns from the messages it relays. It never changes a message it
// forwards; it only reads an id, the client's name, the negotiated version and, for
// a modern-era request, the headers it must travel with.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace melodock {

// `line` parsed as JSON; nothing when it is not JSON.
[[nodiscard]] std::optional<nlohmann::json> parsedMessage(std::string_view line);

// The "id" member of an object, whatever its type (null counts as present).
[[nodiscard]] std::optional<nlohmann::json> requestID(const nlohmann::json& message);

// From an "initialize" request's params.clientInfo: its "title", else its "name",
// when that is a string.
[[nodiscard]] std::optional<std::string> clientName(const nlohmann::json& message);

// The header lines the modern revision asks of the POST that carries the request
// `message`: "MCP-Protocol-Version" from its _meta (when that holds a string of plain
// ASCII), "Mcp-Method" and, for tools/call and prompts/get, "Mcp-Name" from
// params.name, for resources/read from params.uri, encoded as the revision says.
// Nothing for a message of the earlier era.
[[nodiscard]] std::optional<std::vector<std::string>> modernHeaders(const nlohmann::json& message);

// The "protocolVersion" string of an answer's "result" object.
[[nodiscard]] std::optional<std::string> negotiatedVersion(std::string_view body);

// A body that spans several lines, re-serialised as one compact line when it is one
// JSON document; anything else as it is.
[[nodiscard]] std::string oneLine(std::string body);

// The client's name for the "X-Melodock-Client" header: Unicode letters, marks and
// digits stay, every other character becomes the percent-escapes of its UTF-8
// bytes. Nothing when `name` is not valid UTF-8.
[[nodiscard]] std::optional<std::string> percentEncodedClientName(std::string_view name);

}  // namespace melodock
