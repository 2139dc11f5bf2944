#pragma once
// Opening a web address or a file with the desktop's default application:
// xdg-open started with an argument vector (never through a shell). Behind a
// small interface so tests can install a fake. GUI thread.

#include <string>

namespace qv {

class IDesktopOpener {
public:
    virtual ~IDesktopOpener() = default;
    // False with `error` set when the opener could not be started or said it
    // failed. The target is one argument, passed as it is.
    virtual bool open(const std::string& target, std::string* error) = 0;
};

// Runs `program` (default "xdg-open", looked up in PATH) with the target as
// its only argument. Waits up to waitMs for its exit status (xdg-open
// normally returns once the application started); one still running after
// that counts as started and is reaped by a detached thread. Refuses an
// empty target, one starting with '-' (it would read as an option) and one
// holding a line break or NUL.
class XdgOpener final : public IDesktopOpener {
public:
    explicit XdgOpener(std::string program = "xdg-open", int waitMs = 3000);
    bool open(const std::string& target, std::string* error) override;

private:
    std::string m_program;
    int m_waitMs;
};

IDesktopOpener& desktopOpener();                // the installed one (xdg-open by default)
void setDesktopOpener(IDesktopOpener* opener);  // tests install a fake; null restores the default

}  // namespace qv
