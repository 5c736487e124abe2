// The library's logging facade: labelled loggers that hand records with key-value
// metadata to a sink. A logger without a sink discards everything, which is what
// this program gives the library.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mcp {

enum class LogLevel { trace, debug, info, notice, warning, error, critical };

using LogMetadata = std::vector<std::pair<std::string, std::string>>;

struct LogRecord {
  std::string label;
  LogLevel level;
  std::string message;
  LogMetadata metadata;
};

// Called from whichever thread logs; a sink that keeps state must guard it.
using LogSink = std::function<void(const LogRecord&)>;

class Logger {
 public:
  explicit Logger(std::string label, LogSink sink = {})
      : label_(std::move(label)), sink_(std::move(sink)) {}

  [[nodiscard]] const std::string& label() const { return label_; }
  // Lets a caller skip building metadata nobody will read.
  [[nodiscard]] bool enabled() const { return static_cast<bool>(sink_); }

  void log(LogLevel level, std::string_view message, LogMetadata metadata = {}) const {
    if (sink_) sink_(LogRecord{label_, level, std::string(message), std::move(metadata)});
  }
  void debug(std::string_view message, LogMetadata metadata = {}) const {
    log(LogLevel::debug, message, std::move(metadata));
  }
  void info(std::string_view message, LogMetadata metadata = {}) const {
    log(LogLevel::info, message, std::move(metadata));
  }
  void warning(std::string_view message, LogMetadata metadata = {}) const {
    log(LogLevel::warning, message, std::move(metadata));
  }
  void error(std::string_view message, LogMetadata metadata = {}) const {
    log(LogLevel::error, message, std::move(metadata));
  }

 private:
  std::string label_;
  LogSink sink_;
};

}  // namespace mcp
