// Runs a program as a child process for tests.
#include "tests/support/command_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace plumbrook::test {
namespace {

std::vector<char*> argv(const Command& command, std::vector<std::string>& storage) {
  storage.clear();
  storage.push_back(command.program);
  storage.insert(storage.end(), command.args.begin(), command.args.end());
  std::vector<char*> out;
  for (std::string& s : storage) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

[[noreturn]] void exec(const Command& command, std::vector<char*>& args) {
  for (const auto& [name, value] : command.environment) setenv(name.c_str(), value.c_str(), 1);
  if (!command.directory.empty() && chdir(command.directory.c_str()) != 0) _exit(127);
  execvp(command.program.c_str(), args.data());  // a bare name is looked up on PATH
  _exit(127);
}

int statusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

CommandResult run(const Command& command) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  std::vector<std::string> storage;
  std::vector<char*> args = argv(command, storage);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    exec(command, args);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  CommandResult result;
  size_t written = 0;
  int inFd = in[1];
  if (command.input.empty()) {
    close(inFd);
    inFd = -1;
  } else {
    fcntl(inFd, F_SETFL, O_NONBLOCK);
  }
  int readFds[2] = {out[0], err[0]};
  char buffer[65536];
  while (readFds[0] >= 0 || readFds[1] >= 0) {
    pollfd fds[3] = {{readFds[0], POLLIN, 0}, {readFds[1], POLLIN, 0}, {inFd, POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = write(inFd, command.input.data() + written, command.input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN) written = command.input.size();
      if (written >= command.input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
    for (int k = 0; k < 2; ++k) {
      if (readFds[k] < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(readFds[k], buffer, sizeof buffer);
      if (n > 0) {
        (k == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(readFds[k]);
        readFds[k] = -1;
      }
    }
  }
  if (inFd >= 0) close(inFd);
  int raw = 0;
  waitpid(pid, &raw, 0);
  result.status = statusOf(raw);
  return result;
}

pid_t start(const Command& command, const std::string& outputFile) {
  std::vector<std::string> storage;
  std::vector<char*> args = argv(command, storage);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    const int output = outputFile.empty() ? null : open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(null, 0);
    dup2(output < 0 ? null : output, 1);
    dup2(output < 0 ? null : output, 2);
    exec(command, args);
  }
  return pid;
}

bool stillRunning(pid_t pid) {
  int raw = 0;
  return waitpid(pid, &raw, WNOHANG) == 0;
}

int finish(pid_t pid) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  return statusOf(raw);
}

std::string plumbrookPath() {
  const char* dir = std::getenv("PLUMBROOK_BUILD_DIR");
  return std::string(dir ? dir : ".") + "/apps/plumbrook";
}

std::string windowGeometry(const std::string& window) {
  const std::string out = run({"xdotool", {"getwindowgeometry", window}, {}, "", ""}).out;
  const size_t at = out.find("Geometry: ");
  return at == std::string::npos ? out : out.substr(at + 10, out.find('\n', at) - at - 10);
}

bool haveTool(const std::string& name) {
  return std::system(("command -v '" + name + "' >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace plumbrook::test
