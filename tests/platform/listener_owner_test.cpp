// Who owns the socket listening on a loopback port.
#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/listener_owner.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

TEST(ListenerOwner, ReadsTheListeningSocketsOfTheKernelsTables) {
  const std::string heading =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
      "inode\n";
  const auto row = [](const std::string& local, const std::string& state, const std::string& uid) {
    return "   0: " + local + " 00000000:0000 " + state +
           " 00000000:00000000 00:00000000 00000000  " + uid +
           "        0 1234 1 0000000000000000 100 0 0 10 0\n";
  };
  const std::string v6any = "00000000000000000000000000000000";
  const std::string v6mapped = "0000000000000000FFFF00000100007F";  // ::ffff:127.0.0.1, x86
  struct Row {
    const char* name;
    std::string tcp, tcp6;
    ListenerOwner owner;
  };
  const std::vector<Row> rows = {
      {"nothing", heading, heading, ListenerOwner::none},
      {"ours on 127.0.0.1", heading + row("0100007F:B8BB", "0A", "1000"), heading,
       ListenerOwner::thisUser},
      {"another user's on 0.0.0.0", heading + row("00000000:B8BB", "0A", "33"), heading,
       ListenerOwner::anotherUser},
      {"another user's on ::", heading, heading + row(v6any + ":B8BB", "0A", "0"),
       ListenerOwner::anotherUser},
      {"another user's on ::ffff:127.0.0.1", heading, heading + row(v6mapped + ":B8BB", "0A", "7"),
       ListenerOwner::anotherUser},
      {"another port", heading + row("0100007F:B8BC", "0A", "33"), heading, ListenerOwner::none},
      {"another address", heading + row("0200007F:B8BB", "0A", "33"), heading, ListenerOwner::none},
      {"a connection, not a listener", heading + row("0100007F:B8BB", "01", "33"), heading,
       ListenerOwner::none},
      {"ours and another's", heading + row("0100007F:B8BB", "0A", "1000"),
       heading + row(v6any + ":B8BB", "0A", "33"), ListenerOwner::anotherUser},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(loopbackListenerOwner(row.tcp, row.tcp6, 47291, 1000), row.owner);
  }
}

TEST(ListenerOwner, FindsThisProcesssOwnListener) {
  const testing::LoopbackSocket socket;
  const std::uint16_t port = socket.port();
  EXPECT_EQ(loopbackListenerOwner(port, ::geteuid()), ListenerOwner::none);  // bound, not listening
  socket.listen();
  EXPECT_EQ(loopbackListenerOwner(port, ::geteuid()), ListenerOwner::thisUser);
  EXPECT_EQ(loopbackListenerOwner(port, ::geteuid() + 1), ListenerOwner::anotherUser);
}

}  // namespace
}  // namespace melodock
