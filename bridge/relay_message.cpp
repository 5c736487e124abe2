#include "bridge/relay_message.h"

#include <algorithm>
#include <string_view>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "base/percent_encoding.h"
#include "mcp/modern_request.h"

namespace melodock {

std::optional<nlohmann::json> parsedMessage(std::string_view line) {
  nlohmann::json message = nlohmann::json::parse(line, nullptr, false);
  if (message.is_discarded()) return std::nullopt;
  return message;
}

std::optional<nlohmann::json> requestID(const nlohmann::json& message) {
  if (!message.is_object()) return std::nullopt;
  const auto it = message.find("id");
  if (it == message.end()) return std::nullopt;
  return *it;
}

std::optional<std::string> clientName(const nlohmann::json& message) {
  if (!message.is_object()) return std::nullopt;
  const auto method = message.find("method");
  if (method == message.end() || *method != "initialize") return std::nullopt;
  const auto params = message.find("params");
  if (params == message.end() || !params->is_object()) return std::nullopt;
  const auto info = params->find("clientInfo");
  if (info == params->end() || !info->is_object()) return std::nullopt;
  for (const char* key : {"title", "name"}) {
    const auto value = info->find(key);
    if (value != info->end() && value->is_string()) return value->get<std::string>();
  }
  return std::nullopt;
}

namespace {

// Plain ASCII text, spaces included: what a header value may hold as it is.
bool isHeaderText(std::string_view value) {
  return std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

}  // namespace

std::optional<std::vector<std::string>> modernHeaders(const nlohmann::json& message) {
  if (!message.is_object() || !message.contains("id")) return std::nullopt;
  const auto named = message.find("method");
  if (named == message.end() || !named->is_string()) return std::nullopt;
  if (!mcp::ModernRequest::announcedBy(message)) return std::nullopt;
  std::vector<std::string> headers;
  const auto params = message.find("params");
  const bool hasParams = params != message.end() && params->is_object();
  if (hasParams) {
    const auto meta = params->find("_meta");
    if (meta != params->end() && meta->is_object()) {
      const auto version = meta->find(mcp::ModernRequest::kProtocolVersionKey);
      // A value with a line break would end the header and start one of the client's
      // choosing; the host refuses a request without one instead.
      if (version != meta->end() && version->is_string() &&
          isHeaderText(version->get_ref<const std::string&>())) {
        headers.push_back("MCP-Protocol-Version: " + version->get<std::string>());
      }
    }
  }
  const std::string method = named->get<std::string>();
  headers.push_back("Mcp-Method: " + mcp::ModernRequest::encodedHeaderValue(method));
  const char* source = method == "tools/call" || method == "prompts/get" ? "name"
                       : method == "resources/read"                      ? "uri"
                                                                         : nullptr;
  if (source && hasParams) {
    const auto name = params->find(source);
    if (name != params->end() && name->is_string()) {
      headers.push_back("Mcp-Name: " +
                        mcp::ModernRequest::encodedHeaderValue(name->get<std::string>()));
    }
  }
  return headers;
}

std::optional<std::string> negotiatedVersion(std::string_view body) {
  // Most answers cannot hold it; they are not worth parsing.
  if (body.find("protocolVersion") == std::string_view::npos) return std::nullopt;
  const auto answer = parsedMessage(body);
  if (!answer || !answer->is_object()) return std::nullopt;
  const auto result = answer->find("result");
  if (result == answer->end() || !result->is_object()) return std::nullopt;
  const auto version = result->find("protocolVersion");
  if (version == result->end() || !version->is_string()) return std::nullopt;
  return version->get<std::string>();
}

std::string oneLine(std::string body) {
  if (body.find('\n') == std::string::npos) return body;
  const auto document = parsedMessage(body);
  if (!document) return body;
  try {
    return document->dump();
  } catch (const nlohmann::json::exception&) {
    return body;  // text that cannot be written back as UTF-8
  }
}

std::optional<std::string> percentEncodedClientName(std::string_view name) {
  constexpr std::uint32_t kKept = U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK;
  std::string encoded;
  encoded.reserve(name.size() * 3);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  const auto length = static_cast<std::int32_t>(name.size());
  std::int32_t at = 0;
  while (at < length) {
    const std::int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    if (c < 0) return std::nullopt;
    if ((U_GET_GC_MASK(c) & kKept) != 0) {
      encoded.append(
          name.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(at - start)));
      continue;
    }
    appendPercentEncoded(encoded, name.substr(static_cast<std::size_t>(start),
                                              static_cast<std::size_t>(at - start)));
  }
  return encoded;
}

}  // namespace melodock
