// One connection to a D-Bus message bus, waited on by the program's own event loop:
// Asio watches the connection's descriptor and the deadline it asks for, and every
// message is handled on one strand. No GLib loop and no thread of sdbus-c++ runs.
//
//   auto bus = DBusConnection::open(DBusConnection::Bus::kSystem, executor.pool());
//   KeepAwake keepAwake(bus);        // components subscribe while composing...
//   if (bus) bus->start();           // ...and from here on run on bus->strand()
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <asio.hpp>

namespace sdbus {
class IConnection;
}

namespace melodock {

class DBusConnection : public std::enable_shared_from_this<DBusConnection> {
 public:
  enum class Bus { kSystem, kSession };
  using Work = std::function<void()>;

  // Connects to `bus` (the addresses in DBUS_SYSTEM_BUS_ADDRESS and
  // DBUS_SESSION_BUS_ADDRESS are honoured) and returns nothing, silently, when no bus
  // answers. Connecting waits for the bus's handshake: call it while the program is
  // composed, never on the pool or the main actor. Messages are handled on a strand of
  // `executor` once start() is called.
  [[nodiscard]] static std::shared_ptr<DBusConnection> open(Bus bus,
                                                            const asio::any_io_executor& executor);

  ~DBusConnection();
  DBusConnection(const DBusConnection&) = delete;
  DBusConnection& operator=(const DBusConnection&) = delete;

  // Before start(): runs `work` at once on the calling thread, which is the only one
  // touching the connection then. sdbus-c++ installs a signal subscription with a
  // round trip to the bus, so subscriptions belong here, off the pool. After start():
  // posts `work` like post() (and then its round trips do hold a pool thread).
  void setUp(Work work);

  // Starts watching the connection; call once, after setting up, from the composing
  // thread. Work posted before runs now, in order.
  void start();

  // Runs `work` on strand() and then looks again at what the connection waits for (a
  // call made by `work` may have queued bytes or set a reply deadline). Work posted
  // before start() waits for it. Safe from any thread. The connection stays alive until
  // `work` has run, and `work` runs even once the bus has gone away (so a component can
  // always tear down there). `work` catches its own sdbus::Error.
  void post(Work work);

  // Where every use of connection() happens once started, and where sdbus-c++ calls
  // back (replies, signals).
  [[nodiscard]] const asio::strand<asio::any_io_executor>& strand() const { return strand_; }

  // The sdbus-c++ connection: only inside setUp() or post() work, or in its callbacks.
  // Calls that would wait for a reply must be asynchronous.
  [[nodiscard]] sdbus::IConnection& connection() { return *connection_; }

  // False once the bus has gone away; the connection then stays silent.
  [[nodiscard]] bool isOpen() const;

 private:
  DBusConnection(std::unique_ptr<sdbus::IConnection> connection,
                 const asio::any_io_executor& executor);

  void postStarted(Work work);  // with mutex_ held
  void process();
  void arm();
  void close();

  std::unique_ptr<sdbus::IConnection> connection_;
  asio::strand<asio::any_io_executor> strand_;
  // Watches a duplicate of the connection's descriptor, so Asio never closes or
  // deregisters the number sd-bus owns.
  asio::posix::stream_descriptor descriptor_;
  asio::steady_timer deadline_;
  std::uint64_t generation_ = 0;  // on the strand: tells current waits from cancelled ones
  std::atomic<bool> closed_ = false;

  mutable std::mutex mutex_;  // guards the two below
  bool started_ = false;
  std::vector<Work> waiting_;  // posted before start()
};

}  // namespace melodock
