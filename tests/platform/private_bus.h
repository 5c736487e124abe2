// A message bus of a test's own: a dbus-daemon listening in a temporary folder, set as
// both the system and the session bus of this process and of the processes it starts,
// with every XDG folder inside that folder too. Services on it are python-dbusmock
// processes; the test reads and drives them with blocking sdbus-c++ calls of its own.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>
#include <asio.hpp>

#include "platform/dbus_connection.h"
#include "platform/executor.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"

namespace melodock::testing {

class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  [[nodiscard]] const std::string& address() const { return address_; }
  [[nodiscard]] const std::filesystem::path& dir() const { return dir_.path(); }

  // A blocking connection for the test's own calls.
  [[nodiscard]] std::unique_ptr<sdbus::IConnection> connect() const;

  // Ends the daemon: the bus goes away under everyone connected to it.
  void stop();

 private:
  TempDir dir_;
  std::string address_;
  pid_t daemon_ = -1;
};

// `python3 -m dbusmock --system <arguments>` on the private bus, started and waited for
// until `name` is owned on the bus; ended with the object.
class MockService {
 public:
  MockService(const PrivateBus& bus, std::string name, const std::vector<std::string>& arguments);
  ~MockService();
  MockService(const MockService&) = delete;
  MockService& operator=(const MockService&) = delete;

  // Ends the service; returns once its name has left the bus.
  void stop();

 private:
  const PrivateBus& bus_;
  std::string name_;
  pid_t process_ = -1;
};

// The calls of `method` that the python-dbusmock service `name` received on its object
// `path`, each as its arguments.
std::vector<std::vector<sdbus::Variant>> mockCalls(const PrivateBus& bus, const std::string& name,
                                                   const std::string& path,
                                                   const std::string& method);
// Has the python-dbusmock service `name` send `signal` of `interface` from `path`.
void emitFromMock(const PrivateBus& bus, const std::string& name, const std::string& path,
                  const std::string& interface, const std::string& signal,
                  const std::string& signature, const std::vector<sdbus::Variant>& arguments);

// Two threads, like the program's pool.
struct Pool : Executor {
  Pool() : Executor(2) {}
  [[nodiscard]] asio::any_io_executor executor() { return pool(); }
};

// Runs `work` on `connection`'s strand and waits for it.
void runThere(DBusConnection& connection, const std::function<void()>& work);

// Calls `method` of `interface` on `destination`'s object `path` through `connection`,
// from its strand, and waits for the reply (`timeout`, 0: the bus's default), which must
// come on the strand.
// Returns the error's name, the reply's string, "answered" for any other reply, or
// "no reply". Replies come in the order of the calls: every earlier one on
// `connection` has been handled on return.
std::string replyTo(DBusConnection& connection, const std::string& destination,
                    const std::string& path, const std::string& interface,
                    const std::string& method,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

// A connection to the private bus, as the system bus, run on `pool`; started unless
// `start` is false. Throws when there is none.
std::shared_ptr<DBusConnection> systemBus(Pool& pool, bool start = true);

}  // namespace melodock::testing
