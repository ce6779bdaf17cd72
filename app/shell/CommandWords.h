#pragma once
// The command vocabulary shared by the command line, URLs and the running
// manager: the built-in command words, the usage and help texts, and how a
// tessaline:// URL names its command.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::shell {

// Printed by `tessaline help`, followed by a line break.
extern const std::string_view usageText;

// The whole `help` output: the usage, then every action with its title.
std::string helpText();

// ASCII lower case; the command words and action names are ASCII.
std::string lowerCased(std::string_view text);

// True for the words the manager understands besides action names
// ("state", "retile", ...), given lower-cased. "help" is not one of them: it
// never reaches the manager. "holdshortcuts" and "releaseshortcuts" are: the
// settings window sends them around recording a shortcut (the manager lets go
// of its key grabs, for 10 seconds at most), and the usage text leaves them out.
bool isBuiltInWord(std::string_view lowerName);

// True when `command` is a built-in word in any case, or an action name
// under the lenient lookup.
bool isKnownCommand(std::string_view command);

// True for the words whose answer the client waits for and prints.
bool expectsReply(std::string_view lowerName);

// How long the client waits for that answer: 15 s for "log" and
// "diagnostics", whose work reads the log, 3 s otherwise.
std::chrono::milliseconds replyDeadline(std::string_view lowerName);

// A built-in word and its line of the usage text; "start/stop" gives two.
struct CommandWord {
    std::string name;
    std::string description;
};
std::vector<CommandWord> builtInWords();

// True when `argument` is a tessaline: URL (the scheme in any case).
bool isCommandURL(std::string_view argument);

// The command a tessaline: URL names: its host, or without a host its path
// with every "/" trimmed from both ends ("tessaline://focusRight",
// "tessaline:///retile/"). Query and fragment are ignored and percent escapes
// decoded. Absent for any other scheme.
std::optional<std::string> commandFromURL(std::string_view url);

}  // namespace tessaline::shell
