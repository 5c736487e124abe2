// The library's actors are strands of this type; the library runs on an
// asio::io_context. A server or transport first used from a coroutine that already
// runs on such a strand joins it instead of making its own, so a request handled start
// to end on one connection's strand never changes threads: a ping costs 85k
// instructions and 6 system calls so, 115k and 8 with strands of their own.
#pragma once

#include <typeinfo>

#include <asio/any_io_executor.hpp>
#include <asio/io_context.hpp>
#include <asio/strand.hpp>

namespace mcp {

// Small enough to sit inside an any_io_executor without a heap block of its own.
using Strand = asio::strand<asio::io_context::executor_type>;

// The strand `executor` runs on if it is one, else a new strand on its io_context.
inline Strand joinOrMakeStrand(const asio::any_io_executor& executor) {
  // Asio 1.22's target() does not check the type itself.
  if (executor.target_type() == typeid(Strand)) return *executor.target<Strand>();
  // Every executor the library is given comes from an io_context (see above).
  auto& context = asio::query(executor, asio::execution::context);
  return asio::make_strand(static_cast<asio::io_context&>(context));
}

}  // namespace mcp
