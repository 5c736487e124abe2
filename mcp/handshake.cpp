#include "mcp/handshake.h"

#include <nlohmann/json.hpp>

#include "mcp/detail/coding.h"
#include "mcp/version.h"

namespace mcp {
namespace {

template <class Record>
nlohmann::json flagsObject(const Record& record) {
  nlohmann::json json = nlohmann::json::object();
  if constexpr (requires { record.subscribe; })
    detail::putOptional(json, "subscribe", record.subscribe);
  if constexpr (requires { record.listChanged; }) {
    detail::putOptional(json, "listChanged", record.listChanged);
  }
  return json;
}

const nlohmann::json* presentObject(const nlohmann::json& json, std::string_view key) {
  const nlohmann::json* found = detail::present(json, key);
  if (found) detail::requireObject(*found, "\"" + std::string(key) + "\"");
  return found;
}

}  // namespace

nlohmann::json Implementation::toJSON() const {
  nlohmann::json json = {{"name", name}, {"version", version}};
  detail::putOptional(json, "title", title);
  detail::putOptional(json, "description", description);
  detail::putOptional(json, "websiteUrl", websiteUrl);
  detail::putOptional(json, "icons", icons);
  return json;
}

Implementation Implementation::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "an implementation");
  return {detail::requiredString(json, "name"),       detail::optionalString(json, "title"),
          detail::requiredString(json, "version"),    detail::optionalString(json, "description"),
          detail::optionalString(json, "websiteUrl"), detail::optionalArray<Icon>(json, "icons")};
}

nlohmann::json ServerCapabilities::toJSON() const {
  nlohmann::json json = nlohmann::json::object();
  if (completions) json["completions"] = nlohmann::json::object();
  if (logging) json["logging"] = nlohmann::json::object();
  if (prompts) json["prompts"] = flagsObject(*prompts);
  if (resources) json["resources"] = flagsObject(*resources);
  if (tools) json["tools"] = flagsObject(*tools);
  return json;
}

ServerCapabilities ServerCapabilities::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "server capabilities");
  ServerCapabilities capabilities;
  if (presentObject(json, "completions")) capabilities.completions = Completions{};
  if (presentObject(json, "logging")) capabilities.logging = Logging{};
  if (const auto* prompts = presentObject(json, "prompts")) {
    capabilities.prompts = Prompts{detail::optionalBool(*prompts, "listChanged")};
  }
  if (const auto* resources = presentObject(json, "resources")) {
    capabilities.resources = Resources{detail::optionalBool(*resources, "subscribe"),
                                       detail::optionalBool(*resources, "listChanged")};
  }
  if (const auto* tools = presentObject(json, "tools")) {
    capabilities.tools = Tools{detail::optionalBool(*tools, "listChanged")};
  }
  return capabilities;
}

nlohmann::json Client::Capabilities::toJSON() const {
  nlohmann::json json = nlohmann::json::object();
  detail::putOptional(json, "sampling", sampling);
  detail::putOptional(json, "elicitation", elicitation);
  detail::putOptional(json, "experimental", experimental);
  if (roots) json["roots"] = flagsObject(*roots);
  return json;
}

Client::Capabilities Client::Capabilities::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "client capabilities");
  Capabilities capabilities{detail::optionalValue(json, "sampling"),
                            detail::optionalValue(json, "elicitation"),
                            detail::optionalValue(json, "experimental"), std::nullopt};
  if (const auto* roots = presentObject(json, "roots")) {
    capabilities.roots = Roots{detail::optionalBool(*roots, "listChanged")};
  }
  return capabilities;
}

nlohmann::json Initialize::Parameters::toJSON() const {
  return {{"protocolVersion", protocolVersion},
          {"capabilities", capabilities.toJSON()},
          {"clientInfo", clientInfo.toJSON()}};
}

Initialize::Parameters Initialize::Parameters::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "initialize parameters");
  Parameters parameters{
      detail::optionalString(json, "protocolVersion").value_or(Version::latest()),
      {},
      {"unknown", std::nullopt, "0.0.0", std::nullopt, std::nullopt, std::nullopt}};
  if (const auto* capabilities = detail::present(json, "capabilities")) {
    parameters.capabilities = Client::Capabilities::fromJSON(*capabilities);
  }
  if (const auto* clientInfo = detail::present(json, "clientInfo")) {
    parameters.clientInfo = Client::Info::fromJSON(*clientInfo);
  }
  return parameters;
}

nlohmann::json Initialize::Result::toJSON() const {
  nlohmann::json json = {{"protocolVersion", protocolVersion},
                         {"capabilities", capabilities.toJSON()},
                         {"serverInfo", serverInfo.toJSON()}};
  detail::putOptional(json, "instructions", instructions);
  detail::putOptional(json, "_meta", meta);
  return json;
}

Initialize::Result Initialize::Result::fromJSON(const nlohmann::json& json) {
  detail::requireObject(json, "an initialize result");
  const auto* capabilities = detail::present(json, "capabilities");
  const auto* serverInfo = detail::present(json, "serverInfo");
  if (!capabilities) throw DecodingError::keyNotFound("capabilities");
  if (!serverInfo) throw DecodingError::keyNotFound("serverInfo");
  return {detail::requiredString(json, "protocolVersion"),
          ServerCapabilities::fromJSON(*capabilities), ServerInfo::fromJSON(*serverInfo),
          detail::optionalString(json, "instructions"), detail::optionalValue(json, "_meta")};
}

nlohmann::json CancelledNotification::Parameters::toJSON() const {
  nlohmann::json json = nlohmann::json::object();
  detail::putOptional(json, "requestId", requestId);
  detail::putOptional(json, "reason", reason);
  return json;
}

CancelledNotification::Parameters CancelledNotification::Parameters::fromJSON(
    const nlohmann::json& json) {
  detail::requireObject(json, "cancellation parameters");
  Parameters parameters{std::nullopt, detail::optionalString(json, "reason")};
  if (const auto* id = detail::present(json, "requestId")) parameters.requestId = ID::fromJSON(*id);
  return parameters;
}

}  // namespace mcp
