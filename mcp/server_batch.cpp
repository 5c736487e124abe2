// JSON-RPC batches. This program's transport never delivers one (it refuses a JSON
// array before the server sees it); the server still answers them as JSON-RPC asks.
#include <nlohmann/json.hpp>

#include "mcp/detail/json_text.h"
#include "mcp/detail/server_impl.h"

namespace mcp {

using detail::asMCPError;
using detail::tryDecode;

Server::Batch Server::Batch::fromJSON(const nlohmann::json& json) {
  if (!json.is_array()) throw DecodingError::dataCorrupted("Expected an array for a batch");
  Batch batch;
  for (const nlohmann::json& element : json) {
    if (detail::member(element, "id")) {
      if (auto request = tryDecode<Request<AnyMethod>>(element)) {
        batch.items.emplace_back(std::move(*request));
        continue;
      }
    } else if (auto notification = tryDecode<Message<AnyNotification>>(element)) {
      batch.items.emplace_back(std::move(*notification));
      continue;
    }
    batch.items.emplace_back(
        Request<AnyMethod>(ID::ofMessage(element).value_or(ID::random()), "", nullptr));
  }
  return batch;
}

asio::awaitable<void> Server::Impl::handleBatch(Batch batch) {
  logger.debug("Processing batch request");
  if (batch.items.empty()) {
    const ID id = ID::random();
    co_await sendAnswer(
        id, detail::encodeFailure(id, MCPError::invalidRequest("Batch array must not be empty")));
    co_return;
  }
  std::string answers;
  for (Batch::Item& item : batch.items) {
    std::optional<std::string> reply;
    if (auto* request = std::get_if<Request<AnyMethod>>(&item)) {
      if (request->method.empty()) {
        reply = detail::encodeFailure(request->id,
                                      MCPError::invalidRequest("Invalid batch item format"));
      } else {
        // Each item is a task of its own, so that a cancellation reaches it only.
        auto task = registerTask(request->id);
        asio::cancellation_slot slot = task->signal.slot();
        // `task` holds the signal of the spawned task's slot, so it outlives that task.
        reply = co_await asio::co_spawn(*strand, answer(std::move(*request), task),
                                        asio::bind_cancellation_slot(slot, asio::use_awaitable));
      }
    } else {
      try {
        co_await handleNotification(std::get<Message<AnyNotification>>(item));
      } catch (const std::exception& failure) {
        logger.error("Error processing message", {{"error", failure.what()}});
        reply = detail::encodeFailure(ID::random(), asMCPError(failure));
      }
    }
    if (reply) answers += (answers.empty() ? "[" : ",") + *reply;
  }
  if (answers.empty()) co_return;
  OutgoingMessage message{OutgoingMessage::Kind::batch, answers + "]", std::nullopt};
  co_await send(std::move(message));
}

}  // namespace mcp
