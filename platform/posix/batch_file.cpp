// Stand-in for the Windows batch-file operations: files under $TMPDIR with
// POSIX equivalents (O_EXCL, mode 0600, an open descriptor that keeps the
// file's identity), and cmd.exe reached through Wine when it is installed;
// without Wine, starting a process fails as it would without cmd.exe.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/batch_file.h"
#include "platform/text.h"

extern char** environ;

namespace platform {
namespace {

std::string Narrow(const std::u16string& s) { return Utf16ToUtf8(s); }

FileIdentity IdentityOf(int fd, bool* ok) {
  struct stat st {};
  *ok = fstat(fd, &st) == 0;
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

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

std::u16string TemporaryDirectory() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : "/tmp";
  if (dir.back() != '/') dir += '/';
  return Utf8ToUtf16(dir);
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

CreatedFile CreateNewFile(const std::u16string& path, std::string_view content, bool /*administratorsOnly*/) {
  // Mode 0600 is the POSIX counterpart of the restricted DACL in every case.
  const std::string p = Narrow(path);
  const int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return {errno == EEXIST ? CreateStatus::NameTaken : CreateStatus::Failed, {}};
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool identified = false;
  const FileIdentity identity = IdentityOf(fd, &identified);
  close(fd);
  if (done != content.size() || !identified) {
    unlink(p.c_str());
    return {};
  }
  return {CreateStatus::Created, identity};
}

LockedFile OpenLockedForReading(const std::u16string& path, size_t maxBytes) {
  const int fd = open(Narrow(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  LockedFile locked;
  bool identified = false;
  locked.identity = IdentityOf(fd, &identified);
  if (!identified) {
    close(fd);
    return {};
  }
  locked.handle = static_cast<Handle>(fd) + 1;  // 0 means none; fd 0 is valid
  locked.content.resize(maxBytes);
  size_t total = 0;
  while (total < maxBytes) {
    const ssize_t n = read(fd, locked.content.data() + total, maxBytes - total);
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  locked.content.resize(total);
  return locked;
}

void CloseFile(Handle file) {
  if (file) close(static_cast<int>(file - 1));
}

void DeleteFileAt(const std::u16string& path) { unlink(Narrow(path).c_str()); }

Handle StartHiddenProcess(const std::u16string& commandLine) {
  std::vector<std::string> args{WineExecutable()};
  for (const std::string& arg : SplitCommandLine(Narrow(commandLine))) args.push_back(WinePathOf(arg));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // No window and no captured output: the child's standard streams go nowhere.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? static_cast<Handle>(pid) : 0;
}

std::optional<uint32_t> WaitAndClose(Handle process, uint32_t timeoutMs) {
  const auto pid = static_cast<pid_t>(process);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return static_cast<uint32_t>(WEXITSTATUS(status));
      return 1u;
    }
    if (done < 0) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // Still running: leave it running, as on Windows, and reap it when it ends.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return 259u;
}

}  // namespace platform
