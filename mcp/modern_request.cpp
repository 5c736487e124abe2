#include "mcp/modern_request.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "mcp/decoding_error.h"
#include "mcp/detail/base64.h"
#include "mcp/detail/json_text.h"
#include "mcp/mcp_error.h"
#include "mcp/version.h"

namespace mcp {
namespace {

const nlohmann::json* metaOf(const nlohmann::json& message) {
  const nlohmann::json* params = detail::member(message, "params");
  return params ? detail::member(*params, "_meta") : nullptr;
}

constexpr std::string_view kSentinelStart = "=?base64?";
constexpr std::string_view kSentinelEnd = "?=";

bool isSentinel(std::string_view value) {
  return value.size() >= kSentinelStart.size() + kSentinelEnd.size() &&
         value.starts_with(kSentinelStart) && value.ends_with(kSentinelEnd);
}

}  // namespace

std::string ModernRequest::encodedHeaderValue(std::string_view value) {
  const bool plain =
      !value.empty() && value.front() != ' ' && value.back() != ' ' && !isSentinel(value) &&
      std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
  if (plain) return std::string(value);
  return std::string(kSentinelStart) + detail::base64Encode(value) + std::string(kSentinelEnd);
}

std::optional<std::string> ModernRequest::decodedHeaderValue(std::string_view value) {
  if (!isSentinel(value)) return std::string(value);
  return detail::base64Decode(value.substr(
      kSentinelStart.size(), value.size() - kSentinelStart.size() - kSentinelEnd.size()));
}

const std::vector<std::string>& ModernRequest::supportedVersions() {
  static const std::vector<std::string> versions = [] {
    std::vector<std::string> all{std::string(kVersion)};
    const auto& earlier = Version::supported();
    all.insert(all.end(), earlier.rbegin(), earlier.rend());
    return all;
  }();
  return versions;
}

bool ModernRequest::mayBeAnnouncedBy(std::string_view bytes) {
  return bytes.find("io.modelcontextprotocol/") != std::string_view::npos ||
         bytes.find(kDiscover) != std::string_view::npos;
}

bool ModernRequest::announcedBy(const nlohmann::json& message) {
  const nlohmann::json* method = detail::member(message, "method");
  if (method && method->is_string() && method->get_ref<const std::string&>() == kDiscover) {
    return true;
  }
  const nlohmann::json* meta = metaOf(message);
  if (!meta) return false;
  if (const nlohmann::json* version = detail::member(*meta, kProtocolVersionKey)) {
    // A handshake version in `_meta` is the earlier era's, served as it always was.
    return !(version->is_string() &&
             Version::supported().contains(version->get_ref<const std::string&>()));
  }
  return detail::member(*meta, kClientCapabilitiesKey) != nullptr;
}

void ModernRequest::check(const nlohmann::json& message) { checkMeta(metaOf(message)); }

void ModernRequest::checkMeta(const nlohmann::json* meta) {
  if (!meta || !meta->is_object()) {
    throw MCPError::invalidParams("Missing required _meta field " +
                                  std::string(kProtocolVersionKey));
  }
  const nlohmann::json* version = detail::member(*meta, kProtocolVersionKey);
  if (!version || !version->is_string()) {
    throw MCPError::invalidParams("Missing required _meta field " +
                                  std::string(kProtocolVersionKey));
  }
  const nlohmann::json* capabilities = detail::member(*meta, kClientCapabilitiesKey);
  if (!capabilities || !capabilities->is_object()) {
    throw MCPError::invalidParams("Missing required _meta field " +
                                  std::string(kClientCapabilitiesKey));
  }
  const std::string& announced = version->get_ref<const std::string&>();
  if (announced != kVersion) {
    throw MCPError::unsupportedProtocolVersion(announced, supportedVersions());
  }
}

ModernRequest ModernRequest::read(const nlohmann::json& message) {
  return fromMeta(metaOf(message));
}

ModernRequest ModernRequest::fromMeta(const nlohmann::json* meta) {
  checkMeta(meta);
  ModernRequest request{std::string(kVersion), std::nullopt};
  if (const nlohmann::json* info = detail::member(*meta, kClientInfoKey)) {
    try {
      request.clientInfo = Client::Info::fromJSON(*info);
    } catch (const DecodingError&) {
      // Optional and only for display: a malformed one is as good as none.
    }
  }
  return request;
}

}  // namespace mcp
