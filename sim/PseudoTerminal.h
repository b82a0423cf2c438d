// The board's end of the serial line: a pseudo-terminal whose other (serial) end the
// tool opens like any port. Keeps a handle on the serial end itself so that the tool
// closing the port does not hang the line up.
#pragma once

#include <string>

namespace krv2sim {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens the pair with a raw 9600 8N1 line; on failure returns false and fills `error`.
    bool open(std::string& error);
    int fd() const { return master; }
    const std::string& serialPath() const { return path; }

private:
    int master = -1;
    int serialHold = -1;
    std::string path;
};

// A symlink that is removed again when this goes away, if it still points where we
// made it point.
class LinkGuard {
public:
    LinkGuard() = default;
    ~LinkGuard();
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;

    bool make(const std::string& link, const std::string& target, std::string& error);

private:
    std::string link;
    std::string target;
};

} // namespace krv2sim
