// Reads a tab-separated data file of the catalog's data set, line by line. The first
// line names the columns and must be exactly the expected ones; a field never holds a
// tab or a line break, and an empty field means "no value".
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace melodock::detail {

class TsvReader {
 public:
  // Throws std::runtime_error when the file cannot be read or its header differs.
  TsvReader(const std::filesystem::path& file, const std::vector<std::string_view>& columns);

  // Moves to the next line: false at the end. Throws std::runtime_error for a line with
  // the wrong number of fields.
  bool next();

  [[nodiscard]] std::string_view text(std::size_t column) const { return fields_[column]; }
  [[nodiscard]] std::optional<std::string_view> optionalText(std::size_t column) const;
  // Throws std::runtime_error when the field is not a whole decimal number.
  [[nodiscard]] std::int64_t integer(std::size_t column) const;
  [[nodiscard]] std::optional<std::int64_t> optionalInteger(std::size_t column) const;

 private:
  [[noreturn]] void fail(const std::string& what) const;

  std::filesystem::path file_;
  std::ifstream in_;
  std::string line_;
  std::vector<std::string_view> fields_;
  std::size_t columns_;
  std::size_t lineNumber_ = 0;
};

}  // namespace melodock::detail
