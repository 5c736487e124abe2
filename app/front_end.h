// Where the app asks its user: the consent questions and the Apple Music set-up. With a
// display both go to the desktop's windows; otherwise app mode in a terminal asks
// on the terminal, and with no terminal nobody can be asked, so consent is "Not Now" at
// once and the set-up is left as stored.
#pragma once

#include <functional>
#include <memory>

#include "music/permission_prompt.h"
#include "platform/music/authorization.h"

namespace melodock {

class FrontEnd : public PermissionPrompt::Presenter, public MusicAuthorization::Asker {
 public:
  // Starts showing questions; those put before wait until then, so that main's first
  // line on stdout stays first.
  virtual void start() {}
};

// The terminal when `input` is one, otherwise the front end that asks nobody. Both
// descriptors must stay open while the front end lives.
[[nodiscard]] std::unique_ptr<FrontEnd> makeFrontEnd(int input, int output);

// How the desktop asks. `setUp` shows the Apple Music set-up question and calls `answer`
// at most once, on any thread; dropping what it returns takes the question away
// unanswered.
struct DesktopAsking {
  PermissionPrompt::Presenter& consent;
  std::function<std::shared_ptr<void>(std::function<void(bool)> answer)> setUp;
};

// With a display: the user is asked in the desktop's windows. `asking.consent` must
// outlive the front end.
[[nodiscard]] std::unique_ptr<FrontEnd> makeDesktopFrontEnd(DesktopAsking asking);

}  // namespace melodock
