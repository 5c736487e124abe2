// The per-user settings file: one JSON object shared by every process of the user.
// Reads and writes take the whole file under an advisory lock, and a write replaces the
// file atomically, so concurrent writers lose nothing and a crash never leaves half a
// file. Every call touches the disk and may block.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/settings.h"

namespace melodock {

class SettingsStore final : public Settings {
 public:
  // `file` need not exist; its folder is created on the first write.
  explicit SettingsStore(std::filesystem::path file);

  // $XDG_CONFIG_HOME/melodock/settings.json.
  [[nodiscard]] static std::filesystem::path defaultFile();

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }

  // The stored object. A missing file, or one that is not a JSON object, reads as {}.
  [[nodiscard]] nlohmann::json read() const;

  [[nodiscard]] std::optional<nlohmann::json> value(std::string_view key) const override;

  // Read-modify-write under the exclusive lock. A file that could not be read as an
  // object is first copied to "<file>.corrupt", so nothing it held is lost. Throws
  // std::system_error when the file cannot be written.
  void update(Change change) override;

  // The same, for a batch of changes applied in order; returns the object written.
  nlohmann::json apply(const std::vector<Change>& changes);

 private:
  std::filesystem::path file_;
  std::filesystem::path lockFile_;
};

}  // namespace melodock
