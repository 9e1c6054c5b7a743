// Stand-in for the Windows file operations: POSIX equivalents (O_EXCL, mode
// 0600 or 0700, an open descriptor that keeps the file's identity, lstat for
// what a path names). Ownership is told in Windows terms: root owns as the
// Administrators group, any other user under an identifier of its own; a write
// permission for the group or others is an entry that lets them in.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

#include <string>

#include "platform/files.h"
#include "platform/text.h"

namespace platform {
namespace {

std::string Narrow(const std::u16string& s) { return Utf16ToUtf8(s); }

FileIdentity IdentityOf(int fd, bool* ok) {
  struct stat st {};
  *ok = fstat(fd, &st) == 0;
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::u16string OwnerSid(uid_t uid) {
  if (uid == 0) return u"S-1-5-32-544";
  return Utf8ToUtf16("S-1-5-21-0-0-0-" + std::to_string(uid));
}

}  // namespace

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

EntryKind KindOfEntry(const std::u16string& path) {
  struct stat st {};
  if (lstat(Narrow(path).c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? EntryKind::Missing : EntryKind::Unreadable;
  if (S_ISLNK(st.st_mode)) return EntryKind::Link;
  return S_ISDIR(st.st_mode) ? EntryKind::Directory : EntryKind::File;
}

FolderSecurity FolderSecurityOf(const std::u16string& path) {
  FolderSecurity folder;
  folder.kind = KindOfEntry(path);
  if (folder.kind != EntryKind::Directory) return folder;
  struct stat st {};
  if (lstat(Narrow(path).c_str(), &st) != 0) {
    folder.kind = EntryKind::Unreadable;
    return folder;
  }
  folder.owner = OwnerSid(st.st_uid);
  folder.hasDacl = true;
  folder.entries.push_back({AccessEntry::Type::Allow, folder.owner});
  if (st.st_mode & S_IWGRP) folder.entries.push_back({AccessEntry::Type::Allow, u"S-1-5-32-545"});
  if (st.st_mode & S_IWOTH) folder.entries.push_back({AccessEntry::Type::Allow, u"S-1-1-0"});
  return folder;
}

std::u16string SystemFolderOwner() {
  struct stat st {};
  if (stat("/usr", &st) != 0) return {};
  return OwnerSid(st.st_uid);
}

bool CreateAdministratorsOnlyDirectory(const std::u16string& path) {
  // Owned by whoever runs this; only root counts as an administrator.
  return mkdir(Narrow(path).c_str(), 0700) == 0;
}

bool RenameEntry(const std::u16string& from, const std::u16string& to) {
  return renameat2(AT_FDCWD, Narrow(from).c_str(), AT_FDCWD, Narrow(to).c_str(), RENAME_NOREPLACE) == 0;
}

void RemoveEmptyDirectory(const std::u16string& path) { rmdir(Narrow(path).c_str()); }

}  // namespace platform
