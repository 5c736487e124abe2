#include "tests/platform/private_bus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

namespace melodock::testing {
namespace {

// Starts `arguments` with its standard error in `log`, and `addressFd` as its fd 3.
pid_t spawn(const std::vector<std::string>& arguments, const std::filesystem::path& log,
            int addressFd = -1) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (addressFd >= 0) posix_spawn_file_actions_adddup2(&actions, addressFd, 3);
  pid_t child = -1;
  const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + arguments[0]);
  return child;
}

void end(pid_t& child) {
  if (child <= 0) return;
  ::kill(child, SIGTERM);
  int status = 0;
  ::waitpid(child, &status, 0);
  child = -1;
}

bool owned(const PrivateBus& bus, const std::string& name) {
  try {
    auto connection = bus.connect();
    auto daemon = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    bool has = false;
    daemon->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(name)
        .storeResultsTo(has);
    return has;
  } catch (const sdbus::Error&) {
    return false;
  }
}

}  // namespace

PrivateBus::PrivateBus() {
  for (const char* name :
       {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "XDG_MUSIC_DIR"}) {
    const auto folder = dir_.path() / name;
    std::filesystem::create_directories(folder);
    ::setenv(name, folder.c_str(), 1);
  }
  // Nothing but this bus: no service files to activate, any name may be owned.
  const auto config = dir_.path() / "bus.conf";
  std::string text = readFile(MELODOCK_TEST_SUPPORT_DATA "/bus.conf");
  text.replace(text.find("@DIR@"), 5, dir_.path().string());
  writeFile(config, text);
  int pipe[2];
  if (::pipe(pipe) != 0) throw std::runtime_error("pipe");
  daemon_ = spawn({MELODOCK_TEST_DBUS_DAEMON, "--nofork", "--nopidfile",
                   "--config-file=" + config.string(), "--print-address=3"},
                  dir_.path() / "dbus-daemon.log", pipe[1]);
  ::close(pipe[1]);
  char buffer[512];
  ssize_t got = 0;
  while (address_.find('\n') == std::string::npos &&
         (got = ::read(pipe[0], buffer, sizeof buffer)) > 0) {
    address_.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipe[0]);
  if (address_.find('\n') == std::string::npos)
    throw std::runtime_error("dbus-daemon gave no address");
  address_.erase(address_.find('\n'));
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

PrivateBus::~PrivateBus() { stop(); }

std::unique_ptr<sdbus::IConnection> PrivateBus::connect() const {
  return sdbus::createSessionBusConnectionWithAddress(address_);
}

void PrivateBus::stop() { end(daemon_); }

MockService::MockService(const PrivateBus& bus, std::string name,
                         const std::vector<std::string>& arguments)
    : bus_(bus), name_(std::move(name)) {
  const auto log = bus.dir() / (name_ + ".log");  // the calls it received, and its errors
  std::vector<std::string> command = {MELODOCK_TEST_PYTHON, "-m",        "dbusmock",
                                      "--system",           "--logfile", log.string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  process_ = spawn(command, log);
  if (!eventually([&] { return owned(bus_, name_); })) {
    throw std::runtime_error("the mock of " + name_ + " did not appear");
  }
}

MockService::~MockService() { end(process_); }

void MockService::stop() {
  end(process_);
  eventually([&] { return !owned(bus_, name_); });
}

std::vector<std::vector<sdbus::Variant>> mockCalls(const PrivateBus& bus, const std::string& name,
                                                   const std::string& path,
                                                   const std::string& method) {
  auto connection = bus.connect();
  std::vector<sdbus::Struct<std::uint64_t, std::vector<sdbus::Variant>>> calls;
  sdbus::createProxy(*connection, name, path)
      ->callMethod("GetMethodCalls")
      .onInterface("org.freedesktop.DBus.Mock")
      .withArguments(method)
      .storeResultsTo(calls);
  std::vector<std::vector<sdbus::Variant>> arguments;
  arguments.reserve(calls.size());
  for (const auto& call : calls) arguments.push_back(std::get<1>(call));
  return arguments;
}

void emitFromMock(const PrivateBus& bus, const std::string& name, const std::string& path,
                  const std::string& interface, const std::string& signal,
                  const std::string& signature, const std::vector<sdbus::Variant>& arguments) {
  auto connection = bus.connect();
  sdbus::createProxy(*connection, name, path)
      ->callMethod("EmitSignal")
      .onInterface("org.freedesktop.DBus.Mock")
      .withArguments(interface, signal, signature, arguments);
}

void runThere(DBusConnection& connection, const std::function<void()>& work) {
  std::promise<void> done;
  connection.post([&] {
    work();
    done.set_value();
  });
  done.get_future().wait();
}

std::string replyTo(DBusConnection& connection, const std::string& destination,
                    const std::string& path, const std::string& interface,
                    const std::string& method, std::chrono::milliseconds timeout) {
  std::unique_ptr<sdbus::IProxy> proxy;
  std::promise<std::string> reply;
  runThere(connection, [&] {
    proxy = sdbus::createProxy(connection.connection(), destination, path);
    auto handler = [&](sdbus::MethodReply& answer, const sdbus::Error* error) {
      EXPECT_TRUE(connection.strand().running_in_this_thread());
      std::string text = "answered";
      std::string type;
      std::string contents;
      if (error != nullptr) {
        text = error->getName();
      } else if (answer.peekType(type, contents), type == "s") {
        answer >> text;
      }
      reply.set_value(text);
    };
    proxy->callMethod(proxy->createMethodCall(interface, method), handler, timeout);
  });
  auto answer = reply.get_future();
  const bool came = answer.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  runThere(connection, [&] { proxy.reset(); });
  return came ? answer.get() : "no reply";
}

std::shared_ptr<DBusConnection> systemBus(Pool& pool, bool start) {
  auto connection = DBusConnection::open(DBusConnection::Bus::kSystem, pool.executor());
  if (connection == nullptr) throw std::runtime_error("no connection to the private bus");
  if (start) connection->start();
  return connection;
}

}  // namespace melodock::testing
