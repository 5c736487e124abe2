#include "platform/music/catalog/detail/tsv_reader.h"

#include <charconv>
#include <stdexcept>

namespace melodock::detail {

TsvReader::TsvReader(const std::filesystem::path& file,
                     const std::vector<std::string_view>& columns)
    : file_(file), in_(file, std::ios::binary), columns_(columns.size()) {
  if (!in_) throw std::runtime_error("cannot read " + file.string());
  if (!next()) throw std::runtime_error(file.filename().string() + ": empty");
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (fields_[i] != columns[i])
      fail("column " + std::to_string(i + 1) + " is not " + std::string(columns[i]));
  }
}

bool TsvReader::next() {
  if (!std::getline(in_, line_)) return false;
  ++lineNumber_;
  fields_.clear();
  std::string_view rest = line_;
  for (;;) {
    const std::size_t tab = rest.find('\t');
    fields_.push_back(rest.substr(0, tab));
    if (tab == std::string_view::npos) break;
    rest.remove_prefix(tab + 1);
  }
  if (fields_.size() != columns_) {
    fail(std::to_string(fields_.size()) + " fields instead of " + std::to_string(columns_));
  }
  return true;
}

std::optional<std::string_view> TsvReader::optionalText(std::size_t column) const {
  if (fields_[column].empty()) return std::nullopt;
  return fields_[column];
}

std::int64_t TsvReader::integer(std::size_t column) const {
  const std::string_view field = fields_[column];
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size() || field.empty()) {
    fail("field " + std::to_string(column + 1) + " is not a number");
  }
  return value;
}

std::optional<std::int64_t> TsvReader::optionalInteger(std::size_t column) const {
  if (fields_[column].empty()) return std::nullopt;
  return integer(column);
}

void TsvReader::fail(const std::string& what) const {
  throw std::runtime_error(file_.filename().string() + " line " + std::to_string(lineNumber_) +
                           ": " + what);
}

}  // namespace melodock::detail
