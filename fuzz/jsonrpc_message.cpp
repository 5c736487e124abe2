// The JSON-RPC reading of a request body on any bytes: the parser, the transport's
// classification and the envelopes' decoding. Decoding may refuse, with the library's
// own errors, but never crash, and the two ways of classifying agree.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/require.h"
#include "mcp/decoding_error.h"
#include "mcp/detail/json_text.h"
#include "mcp/handshake.h"
#include "mcp/jsonrpc_message_kind.h"
#include "mcp/mcp_error.h"
#include "mcp/messages.h"
#include "mcp/modern_request.h"
#include "mcp/tool.h"

namespace {

template <class Decoded>
void decode(const nlohmann::json& message) {
  try {
    const Decoded decoded = Decoded::fromJSON(message);
    // What was read writes itself again as JSON the parser takes back.
    FUZZ_REQUIRE(mcp::detail::parseJSON(mcp::detail::encodeJSON(decoded.toJSON())).has_value());
  } catch (const mcp::DecodingError&) {
  } catch (const mcp::MCPError&) {
  }
}

void checkHeaderValue(std::string_view bytes) {
  const std::string encoded = mcp::ModernRequest::encodedHeaderValue(bytes);
  const auto decoded = mcp::ModernRequest::decodedHeaderValue(encoded);
  FUZZ_REQUIRE(decoded.has_value() && *decoded == bytes);
  for (const char c : encoded) FUZZ_REQUIRE(c >= ' ' && c <= '~');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkHeaderValue(bytes);

  const auto parsed = mcp::detail::parseJSON(bytes);
  const auto kind = mcp::JSONRPCMessageKind::classify(bytes);
  if (!parsed) {
    FUZZ_REQUIRE(!kind);
    return 0;
  }
  // The encoder's text parses back to the same document.
  const auto reparsed = mcp::detail::parseJSON(mcp::detail::encodeJSON(*parsed));
  FUZZ_REQUIRE(reparsed.has_value());
  const nlohmann::json& message = *parsed;

  const auto kindOfParsed = mcp::JSONRPCMessageKind::classify(message);
  FUZZ_REQUIRE(kind.has_value() == kindOfParsed.has_value());
  if (!kind) return 0;
  FUZZ_REQUIRE(kind->type == kindOfParsed->type && kind->id == kindOfParsed->id &&
               kind->method == kindOfParsed->method);

  if (mcp::ModernRequest::announcedBy(message)) {
    FUZZ_REQUIRE(mcp::ModernRequest::mayBeAnnouncedBy(bytes));
    try {
      (void)mcp::ModernRequest::read(message);
    } catch (const mcp::MCPError&) {
    }
  }
  switch (kind->type) {
    case mcp::JSONRPCMessageKind::Type::request:
      decode<mcp::Request<mcp::AnyMethod>>(message);
      decode<mcp::Request<mcp::Initialize>>(message);
      decode<mcp::Request<mcp::CallTool>>(message);
      decode<mcp::Request<mcp::ListTools>>(message);
      break;
    case mcp::JSONRPCMessageKind::Type::notification:
      decode<mcp::Message<mcp::AnyNotification>>(message);
      decode<mcp::Message<mcp::CancelledNotification>>(message);
      break;
    case mcp::JSONRPCMessageKind::Type::response:
      decode<mcp::Response<mcp::AnyMethod>>(message);
      break;
  }
  return 0;
}
