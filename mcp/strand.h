// The library's actors are strands of this type. A server or transport first used
// from a coroutine that already runs on one joins that strand instead of making its
// own, so a request handled start to end on one connection's strand never changes
// threads.
#pragma once

#include <typeinfo>

#include <asio/any_io_executor.hpp>
#include <asio/strand.hpp>

namespace mcp {

using Strand = asio::strand<asio::any_io_executor>;

// The strand `executor` runs on if it is one, else a new strand over it.
inline Strand joinOrMakeStrand(const asio::any_io_executor& executor) {
  // Asio 1.22's target() does not check the type itself.
  if (executor.target_type() == typeid(Strand)) return *executor.target<Strand>();
  return asio::make_strand(executor);
}

}  // namespace mcp
