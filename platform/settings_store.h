// The per-user settings: one JSON object in one file, shared by every process of the
// user. Reads and writes take the whole file under an advisory lock, and a write
// replaces the file atomically, so concurrent writers lose nothing and a crash never
// leaves half a file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace melodock {

class SettingsStore {
 public:
  // `file` need not exist; its folder is created on the first write.
  explicit SettingsStore(std::filesystem::path file);

  // $XDG_CONFIG_HOME/melodock/settings.json, created on first use.
  static SettingsStore& shared();

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }

  // The stored object. A missing file, or one that is not a JSON object, reads as {}.
  [[nodiscard]] nlohmann::json read() const;

  // Typed reads: nothing when the key is absent or holds another JSON type.
  [[nodiscard]] std::optional<bool> boolean(std::string_view key) const;
  [[nodiscard]] std::optional<std::int64_t> integer(std::string_view key) const;
  [[nodiscard]] std::optional<double> number(std::string_view key) const;
  [[nodiscard]] std::optional<std::string> string(std::string_view key) const;

  // Stores `value` under `key`, keeping every other key as it is on disk now.
  void set(std::string_view key, nlohmann::json value);

  // Read-modify-write under the exclusive lock: `change` gets the current object and
  // edits it in place. A file that could not be read as an object is first copied to
  // "<file>.corrupt", so nothing it held is lost. Throws std::system_error when the
  // file cannot be written.
  void update(const std::function<void(nlohmann::json&)>& change);

 private:
  std::filesystem::path file_;
  std::filesystem::path lockFile_;
};

}  // namespace melodock
