// The stateless 2026-07-28 revision beside the handshake era: how a request announces
// it, and what its per-request metadata must hold. A request is read in the era it
// announces; one without the modern metadata belongs to the earlier era.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "mcp/handshake.h"

namespace mcp {

struct ModernRequest {
  static constexpr std::string_view kVersion = "2026-07-28";
  static constexpr std::string_view kDiscover = "server/discover";
  static constexpr std::string_view kProtocolVersionKey = "io.modelcontextprotocol/protocolVersion";
  static constexpr std::string_view kClientInfoKey = "io.modelcontextprotocol/clientInfo";
  static constexpr std::string_view kClientCapabilitiesKey =
      "io.modelcontextprotocol/clientCapabilities";
  static constexpr std::string_view kServerInfoKey = "io.modelcontextprotocol/serverInfo";

  std::string protocolVersion;
  std::optional<Client::Info> clientInfo;

  // Every version a server of this library names to a modern client: the modern one
  // first, then the handshake versions, newest first.
  static const std::vector<std::string>& supportedVersions();

  // Whether the JSON-RPC request `message` is of the modern era: `server/discover`, or
  // a request whose params._meta carries the protocol version or the client
  // capabilities, unless that version is one of the handshake era's.
  [[nodiscard]] static bool announcedBy(const nlohmann::json& message);
  // Cheap test on the raw bytes: false means announcedBy() is false too.
  [[nodiscard]] static bool mayBeAnnouncedBy(std::string_view bytes);

  // A value for "Mcp-Name" and its kin: as it is when it is plain visible ASCII
  // without spaces at its ends, else (and when it looks like that form itself) in the
  // "=?base64?...?=" form of its UTF-8 bytes.
  [[nodiscard]] static std::string encodedHeaderValue(std::string_view value);
  // What such a header carries: the "=?base64?...?=" form decoded, anything else as it
  // is; nothing when that form does not hold Base64.
  [[nodiscard]] static std::optional<std::string> decodedHeaderValue(std::string_view value);

  // The metadata of a modern `message`. Throws MCPError invalid params when a required
  // field is missing or of the wrong type, and unsupported protocol version when the
  // version is not kVersion. A clientInfo that cannot be read is left out.
  static ModernRequest read(const nlohmann::json& message);
  // The same from the message's params._meta alone (null when it has none).
  static ModernRequest fromMeta(const nlohmann::json* meta);
  // Throws as read() does, without reading the client's info; the version is then kVersion.
  static void check(const nlohmann::json& message);
  static void checkMeta(const nlohmann::json* meta);
};

}  // namespace mcp
