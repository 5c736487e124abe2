// An environment variable set, or unset, for one test.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace melodock::testing {

// Sets `name` to `value` (unsets it for nullptr) and puts it back as it was afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) saved_ = old;
    set(value);
  }
  ~ScopedVariable() { set(saved_ ? saved_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void set(const char* value) {
    if (value != nullptr) {
      ::setenv(name_, value, 1);
    } else {
      ::unsetenv(name_);
    }
  }

  const char* name_;
  std::optional<std::string> saved_;
};

}  // namespace melodock::testing
