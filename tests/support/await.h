// Waiting from a test thread for work on the pool.
#pragma once

#include <utility>

#include <asio.hpp>

#include "platform/actor.h"

namespace melodock::testing {

// Runs `work` on `actor` from a test thread (never a pool thread) and waits for it.
template <typename Work>
auto runOn(const Actor& actor, Work work) {
  auto hop = [&actor, work = std::move(work)]() mutable { return actor.run(std::move(work)); };
  return asio::co_spawn(actor.strand(), hop(), asio::use_future).get();
}

// Awaits `work` on `actor` from a test thread and returns its result.
template <typename T>
T awaitOn(const Actor& actor, asio::awaitable<T> work) {
  return asio::co_spawn(actor.strand(), std::move(work), asio::use_future).get();
}

}  // namespace melodock::testing
