// Writes the man page and the shell completions from the same usage text and
// action list that `tessaline help` prints, so they can't drift apart.
//
//   tessaline-docgen man|bash|zsh|fish <output file>

#include "app/shell/CommandWords.h"
#include "app/shell/Version.h"
#include "engine/actions/Action.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using namespace tessaline;
using namespace tessaline::shell;

namespace {

struct Word {
    std::string name;
    std::string description;
};

std::vector<Word> commandWords() {
    std::vector<Word> words;
    for (const auto& word : builtInWords()) words.push_back({word.name, word.description});
    words.push_back({"help", "List the commands and actions"});
    return words;
}

std::vector<Word> actionWords() {
    std::vector<Word> words;
    for (Action action : allActions()) words.push_back({toString(action), title(action)});
    return words;
}

// roff: a backslash or a leading dot or quote would be read as markup; "-" is a hyphen.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
    return out;
}

std::string singleQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void manPage(std::ostream& out) {
    out << ".TH TESSALINE 1 \"\" \"Tessaline " << version() << "\" \"User Commands\"\n"
        << ".SH NAME\n"
        << "tessaline \\- scrolling tiling window manager for X11\n"
        << ".SH SYNOPSIS\n"
        << ".B tessaline\n.br\n"
        << ".B tessaline\n.I command\n.br\n"
        << ".B tessaline\n.I tessaline://command\n"
        << ".SH DESCRIPTION\n"
        << "Tessaline lays every ordinary window out as a column on a horizontal strip that runs "
           "past the edges of the screen. New windows open beside the one in use and nothing "
           "shrinks to make room; the strip scrolls instead. Each display has a strip of its own.\n"
        << ".PP\n"
        << "Started without a command, " << roff("tessaline") << " is the window manager of the "
           "X display named by\n.BR DISPLAY .\n"
           "Started with a command word, it sends the command to the window manager running on "
           "that display and exits.\n"
        << ".SH STARTING TESSALINE\n"
        << "A display has room for one window manager. Choose Tessaline as the session on the "
           "login screen, or end\n.I ~/.xinitrc\nwith\n.B exec tessaline\nand start X with\n"
           ".BR startx .\n"
        << ".SH COMMANDS\n";
    // Words that share a line of the usage ("start/stop") share an entry.
    const auto words = commandWords();
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string names = roff(words[i].name);
        while (i + 1 < words.size() && words[i + 1].description == words[i].description) {
            names += ", " + roff(words[++i].name);
        }
        out << ".TP\n.B " << names << "\n" << roff(words[i].description) << "\n";
    }
    out << ".SH ACTIONS\n"
        << "Every action that a shortcut can do is a command too. Names are matched without "
           "regard to case, and hyphens between words are ignored, so\n.B Move\\-To\\-3\n"
           "is\n.BR moveTo3 .\n";
    for (const auto& word : actionWords()) {
        out << ".TP\n.B " << roff(word.name) << "\n" << roff(word.description) << "\n";
    }
    out << ".SH URLS\n"
        << "The same names work as URLs, as host or as path:\n"
        << ".B xdg\\-open tessaline://focusRight\n"
        << "and\n.B xdg\\-open tessaline:///retile/\n"
        << "run the same commands as\n.B tessaline focusRight\nand\n.BR \"tessaline retile\" .\n"
        << ".SH EXIT STATUS\n"
        << ".TP\n.B 0\nSuccess. Actions are sent without waiting for an answer.\n"
        << ".TP\n.B 1\nTessaline isn't running, didn't answer in time (3 seconds, 15 for "
           "\\fBlog\\fR and \\fBdiagnostics\\fR) or couldn't write its file.\n"
        << ".TP\n.B 2\nUnknown command.\n"
        << ".SH FILES\n"
        << ".TP\n.I $XDG_RUNTIME_DIR/tessaline/display\\-N\n"
           "The command socket of display :N, for its user only. Without\n.B XDG_RUNTIME_DIR\n"
           "it lies in\n.I /run/user/UID/tessaline\nwhen that folder exists, else in\n"
           ".IR /tmp/tessaline\\-UID .\n"
        << ".TP\n.I $XDG_CACHE_HOME/Tessaline/tessaline.log\n"
           "The recent log written by \\fBtessaline log\\fR.\n"
        << ".TP\n.I $XDG_CACHE_HOME/Tessaline/diagnostics.md\n"
           "The report written by \\fBtessaline diagnostics\\fR.\n"
        << ".TP\n.I $XDG_CACHE_HOME/Tessaline/snapshots/\n"
           "The pictures written by \\fBtessaline snapshot\\fR.\n"
        << ".SH ENVIRONMENT\n"
        << ".TP\n.B DISPLAY\nThe X display to manage, or whose window manager to reach.\n"
        << ".TP\n.B XDG_RUNTIME_DIR\nWhere the command socket lies.\n"
        << ".TP\n.B XDG_CACHE_HOME\nWhere the log, the report and the snapshots are written "
           "(default\n.IR ~/.cache ).\n";
}

std::string allNames() {
    std::string names;
    for (const auto& list : {commandWords(), actionWords()}) {
        for (const auto& word : list) names += (names.empty() ? "" : " ") + word.name;
    }
    return names;
}

void bash(std::ostream& out) {
    out << "# bash completion for tessaline\n"
        << "_tessaline() {\n"
        << "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
        << "        COMPREPLY=($(compgen -W \"" << allNames() << "\" -- \"${COMP_WORDS[1]}\"))\n"
        << "    fi\n"
        << "}\n"
        << "complete -F _tessaline tessaline\n";
}

void zsh(std::ostream& out) {
    out << "#compdef tessaline\n"
        << "local -a commands actions\n"
        << "commands=(\n";
    for (const auto& word : commandWords()) out << "  " << singleQuoted(word.name + ":" + word.description) << "\n";
    out << ")\nactions=(\n";
    for (const auto& word : actionWords()) out << "  " << singleQuoted(word.name + ":" + word.description) << "\n";
    out << ")\n"
        << "if (( CURRENT == 2 )); then\n"
        << "  _describe -t commands 'command' commands\n"
        << "  _describe -t actions 'action' actions\n"
        << "fi\n";
}

void fish(std::ostream& out) {
    out << "# fish completion for tessaline\n"
        << "complete -c tessaline -f\n";
    for (const auto& list : {commandWords(), actionWords()}) {
        for (const auto& word : list) {
            out << "complete -c tessaline -n 'test (count (commandline -opc)) -eq 1' -a "
                << singleQuoted(word.name) << " -d " << singleQuoted(word.description) << "\n";
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tessaline-docgen man|bash|zsh|fish <output file>\n";
        return 2;
    }
    const std::string kind = argv[1];
    std::ofstream out(argv[2], std::ios::binary);
    if (!out) {
        std::cerr << "tessaline-docgen: can't write " << argv[2] << "\n";
        return 1;
    }
    if (kind == "man") manPage(out);
    else if (kind == "bash") bash(out);
    else if (kind == "zsh") zsh(out);
    else if (kind == "fish") fish(out);
    else {
        std::cerr << "tessaline-docgen: unknown kind " << kind << "\n";
        return 2;
    }
    out.close();
    return out ? 0 : 1;
}
