#include "app/shell/Role.h"

#include "app/shell/CommandWords.h"

namespace tessaline::shell {

Role chooseRole(int argc, const char* const* argv) {
    if (argc < 2 || !argv || !argv[1]) return {};
    std::string first = argv[1];
    if (first.starts_with("-")) return {};
    if (auto command = commandFromURL(first)) return {Role::Kind::client, *command};
    return {Role::Kind::client, first};
}

}  // namespace tessaline::shell
