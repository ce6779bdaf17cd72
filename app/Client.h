#pragma once
// The command-line side of the executable: `tessaline <command>`. Until the
// command channel exists it knows the command words and answers as the
// client does when no manager can be reached.

#include <string_view>

namespace tessaline {

// Runs one command; answers the process's exit status.
int runClient(std::string_view command);

}  // namespace tessaline
