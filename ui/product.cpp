#include "ui/product.h"

#include <algorithm>
#include <charconv>

namespace melodock {

const Product& Product::built() {
  static const Product product{MELODOCK_VERSION, MELODOCK_BUILD_NUMBER, MELODOCK_UPDATE_FEED_URL,
                               MELODOCK_SUPPORT_ADDRESS, MELODOCK_SITE_URL};
  return product;
}

std::int64_t buildNumber(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '+' || negative)) text.remove_prefix(1);
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  std::int64_t number = 0;
  if (std::from_chars(text.data(), text.data() + text.size(), number).ec != std::errc()) return 0;
  return negative ? -number : number;
}

}  // namespace melodock
