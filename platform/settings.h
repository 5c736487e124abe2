// The per-user settings as the program reads and changes them: one flat JSON object of
// keys and values. Two kinds stand behind it: the file itself (SettingsStore, blocking,
// for processes without an event loop) and the app's copy kept current with the file
// (LiveSettings, never blocking).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace melodock {

class Settings {
 public:
  // Edits the whole object in place. It may run more than once (again on the file's
  // newest contents), so it must depend on nothing but its argument.
  using Change = std::function<void(nlohmann::json&)>;

  using Observer = std::function<void()>;

  // While it lives, an observer is told of changes; its end waits for a call under way.
  class Subscription {
   public:
    Subscription() = default;
    ~Subscription();
    Subscription(Subscription&& other) noexcept;
    Subscription& operator=(Subscription&& other) noexcept;
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

   private:
    friend class Settings;
    struct Observers;
    Subscription(std::weak_ptr<Observers> observers, int id)
        : observers_(std::move(observers)), id_(id) {}
    void end();

    std::weak_ptr<Observers> observers_;
    int id_ = 0;
  };

  Settings();
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;
  virtual ~Settings() = default;

  // The stored value of `key`; nothing when absent.
  [[nodiscard]] virtual std::optional<nlohmann::json> value(std::string_view key) const = 0;
  // Applies `change` to the stored object, keeping every key it does not touch.
  virtual void update(Change change) = 0;

  // Typed reads: nothing when the key is absent or holds another JSON type.
  [[nodiscard]] std::optional<bool> boolean(std::string_view key) const;
  [[nodiscard]] std::optional<std::int64_t> integer(std::string_view key) const;
  [[nodiscard]] std::optional<double> number(std::string_view key) const;
  [[nodiscard]] std::optional<std::string> string(std::string_view key) const;

  // Stores `value` under `key`.
  void set(std::string_view key, nlohmann::json value);

  // `observer` is told after the stored values may have changed: on the thread of each
  // update(), and, for a store kept current with its file, on the store's own thread
  // when another process changed the file. It must be quick, and must neither observe
  // nor end a subscription itself. Told until the returned subscription ends.
  [[nodiscard]] Subscription observe(Observer observer);

 protected:
  // Tells every observer.
  void changed() const;

 private:
  std::shared_ptr<Subscription::Observers> observers_;
};

}  // namespace melodock
