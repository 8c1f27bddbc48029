// Subcommands of the plumbrook command-line tool.
#pragma once

#include <string>
#include <vector>

namespace plumbrook::cli {

using Args = std::vector<std::string>;

/// Prints the parameter table. Returns the process exit status.
int runParams(const Args& args);

/// Masters an audio file (or the built-in demo). Returns the process exit status.
int runRender(const Args& args);

/// Lists, shows, saves and deletes user presets. Returns the process exit status.
int runPresets(const Args& args);

/// Measures files as they are, checks them against a delivery profile, draws loudness pictures.
int runAnalyze(const Args& args);

/// Draws the editor without a display into a PNG. Returns the process exit status.
int runSnapshot(const Args& args);

/// Lists the delivery profiles. Returns the process exit status.
int runProfiles(const Args& args);

/// One-line usage summary for errors.
const char* usage();

}  // namespace plumbrook::cli
