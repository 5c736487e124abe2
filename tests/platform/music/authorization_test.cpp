// The stored authorization status as the settings file holds it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/app_settings.h"
#include "platform/music/authorization.h"
#include "platform/settings_store.h"
#include "tests/support/loopback.h"

namespace melodock {
namespace {

class NobodyAsked final : public MusicAuthorization::Asker {
 public:
  asio::awaitable<std::optional<bool>> askToSetUp() override {
    ADD_FAILURE() << "asked";
    co_return std::nullopt;
  }
};

TEST(MusicAuthorization, ReadsTheStoredTextAndTakesAnythingElseAsNotDetermined) {
  using Status = MusicAuthorization::Status;
  struct Row {
    const char* stored;  // JSON; nullptr: absent
    Status expected;
  };
  const std::vector<Row> rows = {
      {nullptr, Status::notDetermined},
      {R"("notDetermined")", Status::notDetermined},
      {R"("denied")", Status::denied},
      {R"("restricted")", Status::restricted},
      {R"("authorized")", Status::authorized},
      {R"("Authorized")", Status::notDetermined},
      {R"(" authorized")", Status::notDetermined},
      {"true", Status::notDetermined},
      {"3", Status::notDetermined},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stored ? row.stored : "absent");
    testing::TempDir dir;
    SettingsStore settings(dir.path() / "settings.json");
    if (row.stored)
      settings.set(setting::kMusicAuthorization.name, nlohmann::json::parse(row.stored));
    NobodyAsked asker;
    const MusicAuthorization authorization(settings, asker);
    EXPECT_EQ(authorization.currentStatus(), row.expected);
  }
}

}  // namespace
}  // namespace melodock
