// The HTTP header names the server side of the library reads and writes.
#pragma once

#include <string_view>

namespace mcp::HTTPHeaderName {

inline constexpr std::string_view accept = "Accept";
inline constexpr std::string_view contentType = "Content-Type";
inline constexpr std::string_view authorization = "Authorization";
inline constexpr std::string_view wwwAuthenticate = "WWW-Authenticate";
inline constexpr std::string_view protocolVersion = "MCP-Protocol-Version";
inline constexpr std::string_view sessionID = "MCP-Session-Id";
inline constexpr std::string_view cacheControl = "Cache-Control";
inline constexpr std::string_view lastEventID = "Last-Event-ID";
inline constexpr std::string_view host = "Host";
inline constexpr std::string_view origin = "Origin";
inline constexpr std::string_view connection = "Connection";
inline constexpr std::string_view allow = "Allow";
inline constexpr std::string_view method = "Mcp-Method";
inline constexpr std::string_view name = "Mcp-Name";

}  // namespace mcp::HTTPHeaderName
