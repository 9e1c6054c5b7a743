// Stand-in for the Windows child processes: cmd.exe reached through Wine when
// it is installed (without Wine, starting a process fails as it would without
// cmd.exe). The job object is the child's process group; the environment block
// and the current directory are Windows ones, which Wine takes from its own
// start-up instead, so they are not passed on. Wine's own background processes
// are expected to run already (wine-run --prepare): ending a tree ends its
// whole process group.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/processes.h"
#include "platform/text.h"

extern char** environ;

namespace platform {
namespace {

int Fd(Handle h) { return static_cast<int>(h - 1); }
Handle Of(int fd) { return static_cast<Handle>(fd) + 1; }  // 0 means none; fd 0 is valid

// Splits a command line the way Windows programs do (quotes group, backslashes
// escape quotes).
std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  std::string arg;
  bool inQuotes = false;
  bool haveArg = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\') {
      size_t n = 0;
      while (i + n < line.size() && line[i + n] == '\\') ++n;
      if (i + n < line.size() && line[i + n] == '"') {
        arg.append(n / 2, '\\');
        if (n % 2 == 1) arg += '"';
        i += n - (n % 2 == 1 ? 0 : 1);
      } else {
        arg.append(n, '\\');
        i += n - 1;
      }
      haveArg = true;
    } else if (c == '"') {
      inQuotes = !inQuotes;
      haveArg = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (haveArg) args.push_back(arg);
      arg.clear();
      haveArg = false;
    } else {
      arg += c;
      haveArg = true;
    }
  }
  if (haveArg) args.push_back(arg);
  return args;
}

// Wine sees the POSIX file system as drive Z:.
std::string WinePathOf(const std::string& arg) {
  if (arg.empty() || arg[0] != '/' || access(arg.c_str(), F_OK) != 0) return arg;
  std::string path = "Z:" + arg;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string WineExecutable() {
  if (const char* configured = std::getenv("QF_WINE"); configured && *configured) return configured;
  return "/usr/lib/wine/wine64";
}

}  // namespace

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

OutputPipe CreateOutputPipe() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return {};
  return {Of(ends[0]), Of(ends[1])};
}

size_t ReadOutput(Handle read, char* buffer, size_t capacity) {
  for (;;) {
    const ssize_t n = ::read(Fd(read), buffer, capacity);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return 0;
  }
}

StartedProcess StartHiddenProcess(const ProcessStart& start) {
  std::vector<std::string> args{WineExecutable()};
  for (const std::string& arg : SplitCommandLine(Utf16ToUtf8(start.commandLine))) args.push_back(WinePathOf(arg));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, Fd(start.output), 1);
  posix_spawn_file_actions_adddup2(&actions, Fd(start.output), 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return {};
  return {static_cast<Handle>(pid), static_cast<Handle>(pid)};
}

ProcessWait WaitForProcess(Handle process, uint32_t timeoutMs) {
  const auto pid = static_cast<pid_t>(process);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return {WaitResult::Exited, WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 1u};
    if (done < 0) return {WaitResult::Failed, 0};
    if (std::chrono::steady_clock::now() >= deadline) return {WaitResult::TimedOut, 0};
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool EndProcessTree(const StartedProcess& started) {
  const auto group = static_cast<pid_t>(started.job);
  kill(-group, SIGKILL);
  // The leader is reaped here if the wait did not; the group is gone once no
  // member is left to signal.
  waitpid(static_cast<pid_t>(started.process), nullptr, 0);
  for (int round = 0; round < 5000; ++round) {
    if (kill(-group, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// Nothing to close: the process was reaped by the wait or by EndProcessTree.
void ReleaseProcess(const StartedProcess&) {}

}  // namespace platform
