// Starting a program that lives on its own: in a new session, with its standard
// streams on /dev/null and none of the starter's other descriptors, so it neither
// holds the starter's pipes open nor ends with the starter's terminal or group.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace melodock {

// Starts `program` with `arguments` (argv[0] is the program path) and `environment`
// ("NAME=value" entries) and returns its process id without waiting for it. Throws
// std::system_error when it cannot be started, with the reason the system gave.
pid_t launchDetached(const std::filesystem::path& program,
                     const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment);

// This process's environment as "NAME=value" entries, with each of `fill` that is not
// set here added from `from` where that has it. A variable set to an empty value
// counts as set.
[[nodiscard]] std::vector<std::string> environmentFilledFrom(
    const std::vector<std::string>& fill, const std::map<std::string, std::string>& from);

}  // namespace melodock
