#include "platform/music/authorization.h"

#include <array>
#include <string>
#include <utility>

namespace melodock {
namespace {

constexpr std::array<std::pair<MusicAuthorization::Status, std::string_view>, 4> kTexts = {{
    {MusicAuthorization::Status::notDetermined, "notDetermined"},
    {MusicAuthorization::Status::denied, "denied"},
    {MusicAuthorization::Status::restricted, "restricted"},
    {MusicAuthorization::Status::authorized, "authorized"},
}};

}  // namespace

std::string_view MusicAuthorization::text(Status status) {
  for (const auto& [each, text] : kTexts) {
    if (each == status) return text;
  }
  return kTexts.front().second;
}

MusicAuthorization::Status MusicAuthorization::parse(std::string_view text) {
  for (const auto& [status, each] : kTexts) {
    if (each == text) return status;
  }
  return Status::notDetermined;
}

MusicAuthorization::Status MusicAuthorization::currentStatus() const {
  return parse(settings_.get(setting::kMusicAuthorization));
}

asio::awaitable<MusicAuthorization::Status> MusicAuthorization::request() {
  const Status stored = currentStatus();
  if (stored == Status::authorized || stored == Status::restricted) co_return stored;
  const std::optional<bool> agreed = co_await asker_.askToSetUp();
  if (!agreed) co_return currentStatus();
  const Status answered = *agreed ? Status::authorized : Status::denied;
  settings_.set(setting::kMusicAuthorization, text(answered));
  co_return answered;
}

}  // namespace melodock
