#include "platform/file_change.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/text.h"

namespace platform {

namespace {

uint32_t WriteFlushed(int file, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(file, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return static_cast<uint32_t>(errno);
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return fsync(file) == 0 ? 0 : static_cast<uint32_t>(errno);
}

std::atomic<uint32_t> g_replaceCounter{0};

}  // namespace

// Files are made for their owner alone (0600) either way.
uint32_t AppendToFile(const std::u16string& path, std::string_view bytes, bool) {
  const int file = open(Utf16ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (file < 0) return static_cast<uint32_t>(errno);
  const off_t end = lseek(file, 0, SEEK_END);
  const uint32_t status = end < 0 ? static_cast<uint32_t>(errno) : WriteFlushed(file, bytes);
  // All or nothing: a line cut short by a full disk is cut off again.
  if (status != 0 && end >= 0 && ftruncate(file, end) == 0) fsync(file);
  close(file);
  return status;
}

uint32_t ReplaceFileContent(const std::u16string& path, std::string_view content, bool) {
  const std::string target = Utf16ToUtf8(path);
  std::string temporary;
  int file = -1;
  for (int attempt = 0; attempt < 8 && file < 0; ++attempt) {
    temporary = target + ".new-" + std::to_string(getpid()) + "-" + std::to_string(g_replaceCounter.fetch_add(1) + 1);
    file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file < 0 && errno != EEXIST) return static_cast<uint32_t>(errno);
  }
  if (file < 0) return EEXIST;
  uint32_t status = WriteFlushed(file, content);
  close(file);
  if (status == 0 && rename(temporary.c_str(), target.c_str()) != 0) status = static_cast<uint32_t>(errno);
  if (status != 0) unlink(temporary.c_str());
  return status;
}

uint32_t RemoveFile(const std::u16string& path) {
  if (unlink(Utf16ToUtf8(path).c_str()) == 0 || errno == ENOENT) return 0;
  return static_cast<uint32_t>(errno);
}

uint32_t RenameFile(const std::u16string& from, const std::u16string& to) {
  // A hard link fails when the new name is taken, as MoveFileEx without
  // replacing does.
  const std::string source = Utf16ToUtf8(from);
  if (link(source.c_str(), Utf16ToUtf8(to).c_str()) != 0) return static_cast<uint32_t>(errno);
  unlink(source.c_str());
  return 0;
}

uint32_t CreateFolder(const std::u16string& path) {
  const std::string folder = Utf16ToUtf8(path);
  if (mkdir(folder.c_str(), 0700) == 0) return 0;
  const int error = errno;
  struct stat info {};
  if (error == EEXIST && lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return 0;
  return static_cast<uint32_t>(error);
}

}  // namespace platform
