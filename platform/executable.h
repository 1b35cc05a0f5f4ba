#pragma once
#include <optional>
#include <string>

// The directory that holds the running program's executable, from
// /proc/self/exe: "/" for one at the root. Nothing (errno tells why) when the
// link can't be read or its target is longer than a path may be.
std::optional<std::string> ownexecutabledirectory();

// The same for the target text of such a link, as readlink gave it.
std::string directoryofexecutable(const std::string& target);
