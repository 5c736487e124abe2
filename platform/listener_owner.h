// Who listens on a loopback port: read from the kernel's socket tables, so that a
// secret meant for this user's own app is never sent to another user's program.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string_view>

namespace melodock {

enum class ListenerOwner { none, thisUser, anotherUser };

// The owner of the sockets that would take a connection to 127.0.0.1:`port`: those
// listening on 127.0.0.1, on 0.0.0.0, on :: or on ::ffff:127.0.0.1. Any of them held
// by a uid other than `user` makes the answer anotherUser.
[[nodiscard]] ListenerOwner loopbackListenerOwner(std::uint16_t port, uid_t user);

// The same decision over the text of /proc/net/tcp and /proc/net/tcp6.
[[nodiscard]] ListenerOwner loopbackListenerOwner(std::string_view tcp, std::string_view tcp6,
                                                  std::uint16_t port, uid_t user);

}  // namespace melodock
