// The `initialize` handshake and its records: identities, capabilities, and the small
// protocol messages `ping`, `notifications/initialized` and `notifications/cancelled`.
// `Server` (server.h) names ServerInfo and ServerCapabilities as Server::Info and
// Server::Capabilities; `Client` groups the client's records.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "mcp/icon.h"
#include "mcp/id.h"
#include "mcp/messages.h"
#include "mcp/value.h"

namespace mcp {

// The identity of a server or client; `name` and `version` are always written.
struct Implementation {
  std::string name{};
  std::optional<std::string> title{};
  std::string version{};
  std::optional<std::string> description{};
  std::optional<std::string> websiteUrl{};
  std::optional<std::vector<Icon>> icons{};

  [[nodiscard]] nlohmann::json toJSON() const;
  static Implementation fromJSON(const nlohmann::json& json);
  bool operator==(const Implementation&) const = default;
};
using ServerInfo = Implementation;

// What a server offers; each member written only when present, and inside them an
// unset Boolean is left out while a false one is written.
struct ServerCapabilities {
  struct Completions {
    bool operator==(const Completions&) const = default;
  };
  struct Logging {
    bool operator==(const Logging&) const = default;
  };
  struct Prompts {
    std::optional<bool> listChanged{};
    bool operator==(const Prompts&) const = default;
  };
  struct Resources {
    std::optional<bool> subscribe{};
    std::optional<bool> listChanged{};
    bool operator==(const Resources&) const = default;
  };
  struct Tools {
    std::optional<bool> listChanged{};
    bool operator==(const Tools&) const = default;
  };

  std::optional<Completions> completions{};
  std::optional<Logging> logging{};
  std::optional<Prompts> prompts{};
  std::optional<Resources> resources{};
  std::optional<Tools> tools{};

  [[nodiscard]] nlohmann::json toJSON() const;
  static ServerCapabilities fromJSON(const nlohmann::json& json);
  bool operator==(const ServerCapabilities&) const = default;
};

struct Client {
  using Info = Implementation;

  // What a client offers. The server keeps it and passes the inner records through
  // as values; only `roots.listChanged` is read.
  struct Capabilities {
    struct Roots {
      std::optional<bool> listChanged{};
      bool operator==(const Roots&) const = default;
    };
    std::optional<Value> sampling{};
    std::optional<Value> elicitation{};
    std::optional<Value> experimental{};
    std::optional<Roots> roots{};

    [[nodiscard]] nlohmann::json toJSON() const;
    static Capabilities fromJSON(const nlohmann::json& json);
    bool operator==(const Capabilities&) const = default;
  };
};

struct Initialize {
  static constexpr std::string_view name = "initialize";

  // Read leniently: a missing protocolVersion is the latest version, missing
  // capabilities are empty, a missing clientInfo is "unknown" version "0.0.0".
  struct Parameters {
    std::string protocolVersion{};
    Client::Capabilities capabilities{};
    Client::Info clientInfo{};

    [[nodiscard]] nlohmann::json toJSON() const;
    static Parameters fromJSON(const nlohmann::json& json);
  };
  struct Result {
    std::string protocolVersion{};
    ServerCapabilities capabilities{};
    ServerInfo serverInfo{};
    std::optional<std::string> instructions{};
    std::optional<Value> meta{};  // `_meta`

    [[nodiscard]] nlohmann::json toJSON() const;
    static Result fromJSON(const nlohmann::json& json);
  };
};

struct InitializedNotification {
  static constexpr std::string_view name = "notifications/initialized";
  using Parameters = Empty;
};

struct Ping {
  static constexpr std::string_view name = "ping";
  using Parameters = Empty;
  using Result = Empty;
};

struct CancelledNotification {
  static constexpr std::string_view name = "notifications/cancelled";

  struct Parameters {
    std::optional<ID> requestId{};
    std::optional<std::string> reason{};

    [[nodiscard]] nlohmann::json toJSON() const;
    static Parameters fromJSON(const nlohmann::json& json);
  };
};

}  // namespace mcp
