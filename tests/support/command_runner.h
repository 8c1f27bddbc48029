// Runs a program as a child process for tests: arguments, extra environment, standard input,
// captured standard output and error, exit status; or starts it to be killed mid-way.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace plumbrook::test {

struct CommandResult {
  int status = -1;  // exit status, or 128 + signal number when a signal ended it
  std::string out;
  std::string err;
};

struct Command {
  std::string program;
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> environment;  // added to the test's own
  std::string input;                                             // written to standard input
  std::string directory;                                         // working directory, or empty
};

/// Runs to the end and captures everything. Allocates.
CommandResult run(const Command& command);

/// Starts the command with standard input on /dev/null and its output and error in `outputFile`
/// (on /dev/null when empty); returns its pid.
pid_t start(const Command& command, const std::string& outputFile = {});

/// Whether a started command is still running (false once it has ended; it is then reaped).
bool stillRunning(pid_t pid);

/// Waits for a started command; returns its status as in CommandResult.
int finish(pid_t pid);

/// True when a program of this name is on PATH.
bool haveTool(const std::string& name);

/// An X window's size as the server has it now, "WIDTHxHEIGHT" (from xdotool); xdotool's whole
/// answer when it gives none, so that a failed comparison shows why.
std::string windowGeometry(const std::string& window);

/// The plumbrook tool built with the tests ($PLUMBROOK_BUILD_DIR/apps/plumbrook).
std::string plumbrookPath();

}  // namespace plumbrook::test
