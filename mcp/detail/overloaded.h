// One visitor from several lambdas, for std::visit over the library's closed sums.
#pragma once

namespace mcp::detail {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace mcp::detail
