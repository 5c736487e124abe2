#include "mcp/jsonrpc_message_kind.h"

#include <charconv>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"
#include "mcp/utf8.h"

namespace mcp {
namespace {

// Reads the top level of one object as a stream of parse events: nothing is built,
// and whatever sits inside `params` or `result` is scanned and dropped. The whole text
// must still be valid JSON within the depth bound, as for a full parse. A key given
// twice counts with its last value, as in a parsed document.
class KindReader {
 public:
  using json = nlohmann::json;

  std::optional<std::string> id;
  std::optional<std::string> method;
  bool hasResult = false;

  bool null() { return scalar(); }
  bool boolean(bool) { return scalar(); }
  bool number_integer(json::number_integer_t value) {
    return scalar([&] { id = std::to_string(value); });
  }
  bool number_unsigned(json::number_unsigned_t value) {
    return scalar([&] {
      if (value <= static_cast<std::uint64_t>(INT64_MAX)) id = std::to_string(value);
    });
  }
  bool number_float(json::number_float_t, const json::string_t&) { return scalar(); }
  bool string(json::string_t& value) {
    if (depth_ == 0) return false;
    if (depth_ == 1 && pending_ == Pending::id) id = value;
    if (depth_ == 1 && pending_ == Pending::method) method = value;
    pending_ = Pending::none;
    return true;
  }
  bool binary(json::binary_t&) { return scalar(); }
  bool start_object(std::size_t) { return open(); }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return depth_ > 0 && open(); }
  bool end_array() { return close(); }
  bool key(json::string_t& name) {
    if (depth_ != 1) return true;
    pending_ = Pending::none;
    if (name == "id") {
      pending_ = Pending::id;
      id.reset();
    } else if (name == "method") {
      pending_ = Pending::method;
      method.reset();
    } else if (name == "result" || name == "error") {
      hasResult = true;
    }
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  enum class Pending { none, id, method };

  // A value at the top level: only an integer id is kept; anything else under `id` or
  // `method` leaves it unset.
  template <class Keep = void (*)()>
  bool scalar(Keep keep = [] {}) {
    if (depth_ == 0) return false;
    if (depth_ == 1 && pending_ == Pending::id) keep();
    pending_ = Pending::none;
    return true;
  }
  bool open() {
    if (depth_ >= detail::kMaxJSONDepth) return false;
    ++depth_;
    pending_ = Pending::none;
    return true;
  }
  bool close() {
    --depth_;
    return true;
  }

  int depth_ = 0;
  Pending pending_ = Pending::none;
};

// The same reading for the usual message, without decoding anything below the top
// level: a result of many kilobytes is skipped at memory speed. It gives up on
// anything unusual or invalid (escapes in the fields it keeps, surrogate escapes,
// exponents, very long numbers, trailing text, the depth bound) and leaves those
// messages to the full reader, so it never accepts text the full reader refuses.
class QuickReader {
 public:
  std::optional<std::string> id;
  std::optional<std::string> method;
  bool hasResult = false;

  explicit QuickReader(std::string_view bytes)
      : p_(reinterpret_cast<const unsigned char*>(bytes.data())), end_(p_ + bytes.size()) {}

  // True when the whole text was read; false means "ask the full reader".
  bool read() {
    space();
    if (!take('{')) return false;
    space();
    if (take('}')) return atEnd();
    while (true) {
      std::string_view key;
      if (!plainString(key)) return false;
      space();
      if (!take(':')) return false;
      space();
      if (!member(key)) return false;
      space();
      if (take(',')) {
        space();
        continue;
      }
      if (take('}')) return atEnd();
      return false;
    }
  }

 private:
  bool member(std::string_view key) {
    if (key == "id") {
      id.reset();
      if (peek('"')) return keptString(id);
      const unsigned char* start = p_;
      bool whole = false;
      if ((peek('-') || digit()) && !number(whole)) return false;
      if (p_ == start) return value(1);
      if (whole) {
        std::int64_t number = 0;
        const auto* first = reinterpret_cast<const char*>(start);
        const auto* last = reinterpret_cast<const char*>(p_);
        auto [stop, error] = std::from_chars(first, last, number);
        if (error != std::errc() || stop != last) return false;  // beyond 64 bits
        id = std::to_string(number);
      }
      return true;
    }
    if (key == "method") {
      method.reset();
      return peek('"') ? keptString(method) : value(1);
    }
    if (key == "result" || key == "error") hasResult = true;
    return value(1);
  }

  bool keptString(std::optional<std::string>& field) {
    std::string_view text;
    if (!plainString(text)) return false;
    field = std::string(text);
    return true;
  }

  // Any JSON value at `depth` containers deep.
  bool value(int depth) {
    if (p_ == end_) return false;
    switch (*p_) {
      case '{':
      case '[': {
        if (depth >= detail::kMaxJSONDepth) return false;
        const bool object = *p_ == '{';
        const char close = object ? '}' : ']';
        ++p_;
        space();
        if (take(close)) return true;
        while (true) {
          if (object) {
            if (!peek('"') || !string()) return false;
            space();
            if (!take(':')) return false;
            space();
          }
          if (!value(depth + 1)) return false;
          space();
          if (take(',')) {
            space();
            continue;
          }
          return take(close);
        }
      }
      case '"':
        return string();
      case 't':
        return word("true");
      case 'f':
        return word("false");
      case 'n':
        return word("null");
      default:
        bool whole = false;
        return number(whole);
    }
  }

  // A string without escapes, as `text` (the bytes between the quotes).
  bool plainString(std::string_view& text) {
    if (!peek('"')) return false;
    const unsigned char* start = p_ + 1;
    if (!string()) return false;
    text = std::string_view(reinterpret_cast<const char*>(start), p_ - 1 - start);
    return text.find('\\') == std::string_view::npos;
  }

  // A string with valid UTF-8 and escapes other than surrogates.
  bool string() {
    ++p_;
    while (true) {
      while (p_ != end_ && *p_ >= 0x20 && *p_ < 0x80 && *p_ != '"' && *p_ != '\\') ++p_;
      if (p_ == end_) return false;
      const unsigned char c = *p_;
      if (c == '"') {
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      if (c == '\\') {
        if (!escape()) return false;
      } else if (!utf8()) {
        return false;
      }
    }
  }

  bool escape() {
    if (end_ - p_ < 2) return false;
    const unsigned char c = p_[1];
    if (std::string_view("\"\\/bfnrt").find(static_cast<char>(c)) != std::string_view::npos) {
      p_ += 2;
      return true;
    }
    if (c != 'u' || end_ - p_ < 6) return false;
    unsigned code = 0;
    for (int i = 2; i < 6; ++i) {
      const unsigned char h = p_[i];
      unsigned nibble = 0;
      if (h >= '0' && h <= '9') {
        nibble = h - '0';
      } else if (h >= 'a' && h <= 'f') {
        nibble = h - 'a' + 10;
      } else if (h >= 'A' && h <= 'F') {
        nibble = h - 'A' + 10;
      } else {
        return false;
      }
      code = code * 16 + nibble;
    }
    if (code >= 0xD800 && code <= 0xDFFF) return false;
    p_ += 6;
    return true;
  }

  bool utf8() {
    const std::size_t length =
        utf8SequenceLength(std::string_view(reinterpret_cast<const char*>(p_), end_ - p_));
    p_ += length;
    return length > 0;
  }

  // A number without exponent and of sane length, so its value is finite; `whole`
  // tells whether it has no fraction.
  bool number(bool& whole) {
    constexpr int kMaxDigits = 300;
    take('-');
    int digits = 0;
    if (take('0')) {
      digits = 1;
    } else {
      while (digit()) {
        ++p_;
        ++digits;
      }
    }
    if (digits == 0 || digits > kMaxDigits) return false;
    whole = true;
    if (take('.')) {
      whole = false;
      const unsigned char* fraction = p_;
      while (digit()) ++p_;
      if (p_ == fraction) return false;
    }
    return !peek('e') && !peek('E');
  }

  bool word(std::string_view text) {
    if (static_cast<std::size_t>(end_ - p_) < text.size() ||
        std::string_view(reinterpret_cast<const char*>(p_), text.size()) != text) {
      return false;
    }
    p_ += text.size();
    return true;
  }

  void space() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
  }
  bool atEnd() {
    space();
    return p_ == end_;
  }
  [[nodiscard]] bool peek(char c) const {
    return p_ != end_ && *p_ == static_cast<unsigned char>(c);
  }
  [[nodiscard]] bool digit() const { return p_ != end_ && *p_ >= '0' && *p_ <= '9'; }
  bool take(char c) {
    if (!peek(c)) return false;
    ++p_;
    return true;
  }

  const unsigned char* p_;
  const unsigned char* end_;
};

template <class Reader>
std::optional<JSONRPCMessageKind> kindOf(const Reader& reader) {
  using Type = JSONRPCMessageKind::Type;
  if (reader.method) {
    if (reader.id) return JSONRPCMessageKind{Type::request, *reader.id, *reader.method};
    return JSONRPCMessageKind{Type::notification, {}, *reader.method};
  }
  if (reader.hasResult && reader.id) return JSONRPCMessageKind{Type::response, *reader.id, {}};
  return std::nullopt;
}

}  // namespace

std::optional<JSONRPCMessageKind> JSONRPCMessageKind::classify(std::string_view bytes) {
  QuickReader quick(bytes);
  if (quick.read()) return kindOf(quick);
  KindReader reader;
  if (!nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &reader)) return std::nullopt;
  return kindOf(reader);
}

}  // namespace mcp
