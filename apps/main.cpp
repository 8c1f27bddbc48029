// plumbrook: the command-line mastering tool. Dispatches to its subcommands.
#include <cstdio>
#include <cstring>
#include <exception>

#include "apps/commands.h"
#include "apps/console_surface.h"
#include "plugin/plumbrook.h"
#include "files/temporary_files.h"

namespace plumbrook::cli {

const char* usage() {
  return "usage: plumbrook render [INPUT] -o OUTPUT [--set NAME=VALUE] [--preset NAME|FILE] [options]\n"
         "       plumbrook render INPUT... -o FOLDER [--name PATTERN] [-j N] [--album] [--profile NAME] [options]\n"
         "       plumbrook presets list | show NAME | save NAME [--set NAME=VALUE ...] [--yes] | delete NAME\n"
         "       plumbrook snapshot -o EDITOR.png [--scale S] [--accent NAME] [--set NAME=VALUE] [INPUT]\n"
         "       plumbrook profiles\n"
         "       plumbrook analyze FILE... [--profile NAME] [--plot PATH] [--report-json FILE]\n"
         "       plumbrook params\n"
         "       plumbrook --version\n";
}

}  // namespace plumbrook::cli

int main(int argc, char** argv) {
  using namespace plumbrook::cli;
  if (argc < 2) {
    std::fputs(usage(), stderr);
    return 2;
  }
  // An interrupted render or save leaves no hidden temporary file behind.
  quillfen::files::removeTemporariesOnSignals();
  const std::string command = argv[1];
  const Args args(argv + 2, argv + argc);
  try {
    if (command == "params") return runParams(args);
    if (command == "render") return runRender(args);
    if (command == "presets") return runPresets(args);
    if (command == "snapshot") return runSnapshot(args);
    if (command == "profiles") return runProfiles(args);
    if (command == "analyze") return runAnalyze(args);
    if (command == "--version" || command == "version") {
      std::printf("plumbrook %s\n", plumbrook::versionText().c_str());
      return 0;
    }
    if (command == "--help" || command == "-h" || command == "help") {
      std::fputs(usage(), stdout);
      return 0;
    }
    std::fprintf(stderr, "plumbrook: unknown command '%s'\n%s", terminalSafe(command).c_str(), usage());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plumbrook: %s\n", terminalSafe(e.what()).c_str());
    return 1;
  }
}
