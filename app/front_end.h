// Where the app asks its user: the consent questions and the Apple Music set-up. With a
// display consent goes to the desktop's windows; otherwise app mode in a terminal asks
// on the terminal, and with no terminal nobody can be asked, so consent is "Not Now" at
// once and the set-up is left as stored.
#pragma once

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

// With a display: consent questions go to `consent` (the desktop's windows), the rest to
// `others`. `consent` must outlive the front end.
[[nodiscard]] std::unique_ptr<FrontEnd> makeDesktopFrontEnd(PermissionPrompt::Presenter& consent,
                                                            std::unique_ptr<FrontEnd> others);

}  // namespace melodock
