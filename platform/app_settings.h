// The settings every part of the program agrees on. Every key the program stores is
// named here once, with the type it holds and what it reads as when absent or of
// another type; nothing else spells a key.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/settings.h"

namespace melodock {

// A stored setting: its name in the file and what it reads as when the file holds no
// value of type `T` there. Strings are `std::string_view`, lists of strings
// `std::span<const std::string_view>`, so that every key is a constant.
template <typename T>
struct SettingKey {
  std::string_view name;
  T fallback;
};

namespace setting {

inline constexpr SettingKey<std::string_view> kMusicAuthorization{"musicAuthorization", ""};
inline constexpr SettingKey<bool> kMusicSubscription{"musicSubscription", true};
// False until the user said yes: the next call that needs it asks.
inline constexpr SettingKey<bool> kSharePersonalData{"sharePersonalData", false};
inline constexpr SettingKey<bool> kAllowLibraryChanges{"allowLibraryChanges", false};
inline constexpr SettingKey<std::span<const std::string_view>> kMusicFolders{"musicFolders", {}};
inline constexpr SettingKey<std::string_view> kAudioSink{"audioSink", ""};
inline constexpr SettingKey<std::string_view> kWebAPIBaseURL{"webAPIBaseURL", ""};
inline constexpr SettingKey<std::string_view> kWebAPIDeveloperToken{"webAPIDeveloperToken", ""};
inline constexpr SettingKey<std::string_view> kWebAPIUserToken{"webAPIUserToken", ""};
inline constexpr SettingKey<bool> kHasConnectedClient{"hasConnectedClient", false};
inline constexpr SettingKey<std::string_view> kConnectSection{"connectSection", ""};
inline constexpr SettingKey<std::string_view> kConnectClient{"connectClient", ""};
inline constexpr SettingKey<bool> kHasSeenWelcome{"hasSeenWelcome", false};
// Seconds since 1970.
inline constexpr SettingKey<double> kLastUpdateCheck{"lastUpdateCheck", 0};

}  // namespace setting

// One setting to store, made from a typed key so that its value has the key's type.
// A value to carry across threads before it is applied.
struct SettingChange {
  std::string_view key;
  nlohmann::json value;

  friend bool operator==(const SettingChange&, const SettingChange&) = default;
};

class AppSettings {
 public:
  static constexpr std::int64_t kDefaultPort = 47291;
  static constexpr SettingKey<std::int64_t> kPort{"port", kDefaultPort};
  static constexpr SettingKey<std::string_view> kToken{"token", ""};

  // `settings` must outlive this object.
  explicit AppSettings(Settings& settings) : settings_(settings) {}

  // The stored value of `key`, or its fallback.
  [[nodiscard]] bool get(const SettingKey<bool>& key) const;
  [[nodiscard]] double get(const SettingKey<double>& key) const;
  [[nodiscard]] std::string get(const SettingKey<std::string_view>& key) const;
  // The list's strings in order; entries of another type are left out.
  [[nodiscard]] std::vector<std::string> get(
      const SettingKey<std::span<const std::string_view>>& key) const;

  void set(const SettingKey<bool>& key, bool value);
  void set(const SettingKey<double>& key, double value);
  void set(const SettingKey<std::string_view>& key, std::string_view value);
  void set(const SettingKey<std::span<const std::string_view>>& key,
           const std::vector<std::string>& value);

  [[nodiscard]] static SettingChange change(const SettingKey<bool>& key, bool value);
  [[nodiscard]] static SettingChange change(const SettingKey<std::string_view>& key,
                                            std::string_view value);
  void apply(const SettingChange& change);

  // The stored "port" as it is; absent or 0 reads as 47291. Nothing when the stored
  // value is not an integer (a text or a fraction): no port the user did not choose is
  // used in its place. The value may lie outside 1…65535: the host reports that.
  [[nodiscard]] std::optional<std::int64_t> port() const;

  // The stored "port" as JSON text, for telling the user what cannot be used.
  [[nodiscard]] std::string storedPort() const;

  // "http://127.0.0.1:<port>/mcp"; the default port when the stored one is not a number.
  [[nodiscard]] std::string endpoint() const;

  // Stores `port` (tests and set-up tools choose one).
  void setPort(std::int64_t port);

  // The stored "token" whatever it holds (even empty). When no string is stored, a
  // new random token is stored first, so every reader in every process sees one value.
  [[nodiscard]] std::string token();

  // Stores a fresh random token in place of the old one and returns it. Restarting the
  // host so it takes effect is the caller's part.
  std::string storeNewToken();

  // 48 lower-case hexadecimal digits: 24 bytes of the OS's secure random source.
  [[nodiscard]] static std::string randomToken();

 private:
  Settings& settings_;
};

}  // namespace melodock
