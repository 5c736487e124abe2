#include "platform/settings.h"

#include <map>
#include <mutex>

namespace melodock {

// Calls are made under the lock, so that a subscription that ends waits for its
// observer's call to finish.
struct Settings::Subscription::Observers {
  std::mutex mutex;
  std::map<int, Observer> observers;
  int next = 0;
};

Settings::Settings() : observers_(std::make_shared<Subscription::Observers>()) {}

Settings::Subscription::~Subscription() { end(); }

Settings::Subscription::Subscription(Subscription&& other) noexcept
    : observers_(std::move(other.observers_)), id_(other.id_) {}

Settings::Subscription& Settings::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    end();
    observers_ = std::move(other.observers_);
    id_ = other.id_;
  }
  return *this;
}

void Settings::Subscription::end() {
  if (const auto observers = observers_.lock()) {
    const std::lock_guard lock(observers->mutex);
    observers->observers.erase(id_);
  }
  observers_.reset();
}

Settings::Subscription Settings::observe(Observer observer) {
  const std::lock_guard lock(observers_->mutex);
  const int id = ++observers_->next;
  observers_->observers.emplace(id, std::move(observer));
  return {observers_, id};
}

void Settings::changed() const {
  const std::lock_guard lock(observers_->mutex);
  for (const auto& [id, observer] : observers_->observers) observer();
}

std::optional<bool> Settings::boolean(std::string_view key) const {
  const auto stored = value(key);
  if (!stored || !stored->is_boolean()) return std::nullopt;
  return stored->get<bool>();
}

std::optional<std::int64_t> Settings::integer(std::string_view key) const {
  const auto stored = value(key);
  if (!stored) return std::nullopt;
  if (stored->is_number_integer() && !stored->is_number_unsigned()) {
    return stored->get<std::int64_t>();
  }
  // Unsigned values above the int64 range cannot be a port or a count.
  if (stored->is_number_unsigned() && stored->get<std::uint64_t>() <= INT64_MAX) {
    return static_cast<std::int64_t>(stored->get<std::uint64_t>());
  }
  return std::nullopt;
}

std::optional<double> Settings::number(std::string_view key) const {
  const auto stored = value(key);
  if (!stored || !stored->is_number()) return std::nullopt;
  return stored->get<double>();
}

std::optional<std::string> Settings::string(std::string_view key) const {
  auto stored = value(key);
  if (!stored || !stored->is_string()) return std::nullopt;
  return stored->get<std::string>();
}

void Settings::set(std::string_view key, nlohmann::json value) {
  update([key = std::string(key), value = std::move(value)](nlohmann::json& all) {
    all[key] = value;
  });
}

}  // namespace melodock
