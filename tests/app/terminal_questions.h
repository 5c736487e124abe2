// The questions the terminal front end asks, as a user sees them.
#pragma once

#include <string>

namespace melodock::testing {

inline const std::string kSetUpQuestion =
    "\nSet Up Apple Music\n"
    "Lets your AI search Apple Music and play songs on this computer.\n"
    "Continue (y) or Not Now (n)? ";

}  // namespace melodock::testing
