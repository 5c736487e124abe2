// The logind inhibitor held while playing, against python-dbusmock's logind on a
// private bus.
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <tuple>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/keep_awake.h"
#include "tests/platform/private_bus.h"

namespace melodock {
namespace {

using testing::eventually;
using testing::MockService;
using testing::Pool;
using testing::PrivateBus;

using Inhibitor = std::tuple<std::string, std::string, std::string, std::string>;

// What the mock logind holds: what, who, why, mode of each inhibitor.
std::vector<Inhibitor> inhibitors(const PrivateBus& bus) {
  auto connection = bus.connect();
  std::vector<sdbus::Struct<std::string, std::string, std::string, std::string, std::uint32_t,
                            std::uint32_t>>
      listed;
  sdbus::createProxy(*connection, "org.freedesktop.login1", "/org/freedesktop/login1")
      ->callMethod("ListInhibitors")
      .onInterface("org.freedesktop.login1.Manager")
      .storeResultsTo(listed);
  std::vector<Inhibitor> result;
  result.reserve(listed.size());
  for (const auto& row : listed) {
    result.emplace_back(std::get<0>(row), std::get<1>(row), std::get<2>(row), std::get<3>(row));
  }
  return result;
}

// A call to logind through `connection`, waited for: every earlier answer on
// `connection` has been handled on return.
void roundTrip(DBusConnection& connection) {
  testing::replyTo(connection, "org.freedesktop.login1", "/org/freedesktop/login1",
                   "org.freedesktop.login1.Manager", "ListInhibitors");
}

const Inhibitor kPlaying{"idle:sleep", "Melodock", "Playing music", "block"};

TEST(KeepAwake, HoldsOneInhibitorExactlyWhileAcquiredAndLetsGoWhenDestroyed) {
  PrivateBus bus;
  MockService logind(bus, "org.freedesktop.login1", {"--template", "logind"});
  Pool pool;
  auto connection = testing::systemBus(pool, false);
  std::optional<KeepAwake> keepAwake(connection);
  connection->start();

  struct Step {
    const char* name;
    std::vector<bool> calls;  // true: acquire, false: release
    std::vector<Inhibitor> held;
  };
  const std::vector<Step> steps = {
      {"acquire", {true}, {kPlaying}},
      {"acquire again", {true, true}, {kPlaying}},
      {"release", {false}, {}},
      {"release again", {false}, {}},
      {"release while the request is out", {true, false}, {}},
      {"acquire, release, acquire at once", {true, false, true}, {kPlaying}},
      {"and release", {false}, {}},
      {"acquire before going", {true}, {kPlaying}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    for (const bool acquire : step.calls) acquire ? keepAwake->acquire() : keepAwake->release();
    roundTrip(*connection);  // logind has answered every call made so far
    EXPECT_TRUE(eventually([&] { return inhibitors(bus) == step.held; }))
        << inhibitors(bus).size() << " held";
  }
  keepAwake.reset();
  EXPECT_TRUE(eventually([&] { return inhibitors(bus).empty(); }));
}

TEST(KeepAwake, DoesNothingWithoutABusOrWithoutLogind) {
  {
    KeepAwake keepAwake(nullptr);
    keepAwake.acquire();
    keepAwake.release();
  }
  PrivateBus bus;  // a bus where nobody owns org.freedesktop.login1
  Pool pool;
  auto connection = testing::systemBus(pool);
  KeepAwake keepAwake(connection);
  keepAwake.acquire();
  keepAwake.release();
  keepAwake.acquire();
  roundTrip(*connection);  // answered with an error: nobody there
  EXPECT_TRUE(connection->isOpen());
}

}  // namespace
}  // namespace melodock
