// Subcommands of the plumbrook command-line tool.
#pragma once

#include <string>
#include <vector>

namespace plumbrook::cli {

using Args = std::vector<std::string>;

/// Prints the parameter table. Returns the process exit status.
int runParams(const Args& args);

/// One-line usage summary for errors.
const char* usage();

}  // namespace plumbrook::cli
