// Reading requests, seen from a real client socket: what the handler is given.
#include <gtest/gtest.h>

#include "tests/host/host_fixture.h"

namespace melodock {
namespace {

using testing::bodyOf;
using testing::echo;
using testing::exchange;
using testing::HostFixture;

TEST(HTTPRequestReader, ParsesRequestLinesAndHeaderLines) {
  struct Row {
    const char* name;
    std::string request;
    std::string seen;
    bool byteByByte = false;
  };
  const std::vector<Row> rows = {
      {"sent one byte at a time",
       "POST /mcp?x=1 HTTP/1.1\r\nHost: a\r\nContent-Length: 4\r\n\r\n{\"a\"",
       "POST /mcp?x=1\n[Content-Length]=[4]\n[Host]=[a]\nbody={\"a\"", true},
      {"head and body in one segment", "POST /mcp HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}",
       "POST /mcp\n[Content-Length]=[2]\nbody={}"},
      {"get without a body", "GET /mcp HTTP/1.1\r\n\r\n", "GET /mcp\nno body"},
      {"runs of spaces in the request line", "POST    /mcp     HTTP/1.1\r\n\r\n",
       "POST /mcp\nno body"},
      {"no protocol version", "DELETE /x\r\n\r\n", "DELETE /x\nno body"},
      {"header values trimmed, lines without colon skipped",
       "POST / HTTP/1.1\r\n  X-A :\t one two \r\nnot a header\r\nX-B:\r\n\r\n",
       "POST /\n[X-A]=[one two]\n[X-B]=[]\nno body"},
      {"a later header of the same name replaces, other case stays separate",
       "POST / HTTP/1.1\r\nX-A: 1\r\nx-a: 2\r\nX-A: 3\r\n\r\n",
       "POST /\n[X-A]=[3]\n[x-a]=[2]\nno body"},
      {"colon in the value", "POST / HTTP/1.1\r\nHost: 127.0.0.1:80\r\n\r\n",
       "POST /\n[Host]=[127.0.0.1:80]\nno body"},
  };
  HostFixture fixture(echo);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < row.request.size(); at += row.byteByByte ? 1 : row.request.size())
      pieces.push_back(row.request.substr(at, row.byteByByte ? 1 : std::string::npos));
    const auto port = static_cast<std::uint16_t>(fixture.port);
    EXPECT_EQ(bodyOf(exchange(port, pieces, std::chrono::milliseconds(1)).received), row.seen);
  }
}

TEST(HTTPRequestReader, FollowsTheContentLengthRules) {
  struct Row {
    const char* name;
    std::string head;
    std::string sent;
    std::optional<std::string> body;  // nothing: dropped without a response
  };
  const std::string full(4194304, 'x');
  const std::vector<Row> rows = {
      {"mixed-case name, spaces around the value", "cOnTeNt-LeNgTh:   3  \r\n", "abc", "abc"},
      {"not a number counts as zero", "Content-Length: abc\r\n", "xy", "xy"},
      {"negative needs no body", "Content-Length: -5\r\n", "", ""},
      {"bytes beyond the length stay in the body", "Content-Length: 2\r\n", "abcd", "abcd"},
      {"plus sign", "Content-Length: +3\r\n", "abc", "abc"},
      {"the ceiling itself is read", "Content-Length: 4194304\r\n", full, full},
      {"one above the ceiling is dropped", "Content-Length: 4194305\r\n", full + "x", std::nullopt},
      {"a body shorter than declared is dropped", "Content-Length: 10\r\n", "abc", std::nullopt},
  };
  auto bodyEcho = [](mcp::HTTPRequest request, std::string) -> asio::awaitable<mcp::HTTPResponse> {
    co_return mcp::HTTPResponse::data(request.body.value_or(""));
  };
  HostFixture fixture(bodyEcho, {.idleTimeout = std::chrono::seconds(10)});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = exchange(static_cast<std::uint16_t>(fixture.port),
                                 {"POST /mcp HTTP/1.1\r\n" + row.head + "\r\n" + row.sent},
                                 std::chrono::milliseconds(0), std::chrono::milliseconds(3000));
    if (row.body) {
      EXPECT_EQ(bodyOf(result.received), *row.body);
    } else {
      EXPECT_EQ(result.received, "");
    }
  }
}

TEST(HTTPRequestReader, DropsWhatItCannotReadAndKeepsServing) {
  struct Row {
    const char* name;
    std::string sent;
  };
  const std::vector<Row> rows = {
      {"invalid UTF-8 in the head", "POST /\xff\xfe HTTP/1.1\r\n\r\n"},
      {"overlong UTF-8 in a header", "POST / HTTP/1.1\r\nX: \xc0\xaf\r\n\r\n"},
      {"one-piece request line", "POST\r\nContent-Length: 0\r\n\r\n"},
      {"empty request line", "\r\n\r\n"},
      {"closed before the head ends", "POST / HTTP/1.1\r\nHost: a\r\n"},
      {"head of 4 MiB without its end", "POST / HTTP/1.1\r\nX: " + std::string(4194304, 'a')},
  };
  HostFixture fixture(echo);
  const auto port = static_cast<std::uint16_t>(fixture.port);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = exchange(port, row.sent);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(result.received, "");
    EXPECT_EQ(bodyOf(exchange(port, "GET /ok HTTP/1.1\r\n\r\n").received), "GET /ok\nno body");
  }
}

}  // namespace
}  // namespace melodock
