// The main actor: the strand of the music service, tool calls, the permission prompt
// and the observable status records (base/actor.h says how to hop onto it).
#pragma once

#include "base/actor.h"
#include "platform/executor.h"

namespace melodock {

// One is created in main and passed by reference to everything that runs on it; its
// own type keeps another actor from being passed in its place.
class MainActor : public Actor {
 public:
  using Actor::Actor;
};

}  // namespace melodock
