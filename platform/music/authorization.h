// Whether the user lets the app use Apple Music: the status kept in the settings under
// "musicAuthorization", and the request that asks the user through the front end.
#pragma once

#include <optional>
#include <string_view>

#include <asio.hpp>

#include "platform/app_settings.h"

namespace melodock {

class MusicAuthorization {
 public:
  enum class Status { notDetermined, denied, restricted, authorized };

  // The one who can ask the user; the app's front end implements it.
  class Asker {
   public:
    Asker() = default;
    Asker(const Asker&) = delete;
    Asker& operator=(const Asker&) = delete;
    virtual ~Asker() = default;

    // Asks the user to set up Apple Music: true when they agree, false when they
    // decline, nothing when nobody can be asked. Resumes on the caller's executor.
    virtual asio::awaitable<std::optional<bool>> askToSetUp() = 0;
  };

  // Both must outlive the authorization.
  MusicAuthorization(Settings& settings, Asker& asker) : settings_(settings), asker_(asker) {}

  // The stored status; absent, or a text that names no status, is notDetermined.
  [[nodiscard]] Status currentStatus() const;

  // Asks the user unless the answer is already settled (authorized, or restricted,
  // which the user cannot change), stores authorized or denied, and returns the status
  // now stored. When nobody can be asked the stored status stays as it is. A status
  // stored as denied is asked again: the question is the only place to change it.
  asio::awaitable<Status> request();

  // The stored texts: "notDetermined", "denied", "restricted", "authorized".
  [[nodiscard]] static std::string_view text(Status status);
  [[nodiscard]] static Status parse(std::string_view text);

 private:
  AppSettings settings_;
  Asker& asker_;
};

}  // namespace melodock
