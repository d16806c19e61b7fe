#pragma once

// Starting programs as the desktop user the program acts for (UserSession.h). A root process
// acting for another user starts them in a child that gives up every privilege for good (the
// user's groups, gid and uid, real, effective and saved alike) before it runs anything; the
// program never runs a user's opener as root. The child gets the user's session environment
// only, the user's home as working folder, /dev/null as standard streams, no other inherited
// descriptor and a session of its own. It is detached (double fork): nobody waits for it.

#include "platform/UserSession.h"

#include <string>
#include <vector>

namespace platform {

// argv of one program; argv[0] is looked up in the user's PATH unless it holds a slash. The
// arguments go to the program as they are (never through a shell).
using CommandLine = std::vector<std::string>;

struct LaunchPlan {
    // Alternatives, tried in order until one can be executed.
    std::vector<CommandLine> commands;
    // When not empty, the started command is waited for (in the detached child) and, when it
    // cannot start or exits with a status other than 0, these alternatives run instead.
    std::vector<CommandLine> whenFailed;
};

// Starts the plan for the user. True once a program runs (for a plan with whenFailed: once the
// detached child has taken the user's identity). False, with the reason in *error, when the
// process may not act as that user, the identity could not be taken or nothing could be run.
bool LaunchAsUser(const UserSession& user, const LaunchPlan& plan, std::string* error = nullptr);

} // namespace platform
