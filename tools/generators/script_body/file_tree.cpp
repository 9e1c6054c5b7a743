// The file tree type that the file steps share. It opens, lists, deletes and
// renames through handles: each object is opened relative to the handle of
// its folder and as itself (FILE_OPEN_REPARSE_POINT), so no step follows a
// junction or a symbolic link out of the folder it works in, however the
// tree changes while the step runs. Opened as itself, a junction or a link
// to a folder lists as the empty folder it is, and goes as a link.

#include "tools/generators/script_body/families.h"
#include "tools/generators/script_body/powershell_text.h"

namespace {

// C# 5 (the compiler of Windows PowerShell 5.1), written without '!' (the
// batch wrapper's delayed expansion would eat it) and without single quotes
// (it stands in a PowerShell single-quoted string). The step line must stay
// below the 8191 characters cmd reads, so names are short where only the
// native declarations see them.
//
// Open: NtOpenFile relative to a folder handle (an NT path when the folder is
// zero), case-insensitive (64), sharing read, write and delete (7),
// synchronous (0x20), the object itself (FILE_OPEN_REPARSE_POINT, 0x200000)
// and, when Backup is set, for backup (0x4000): with SeBackupPrivilege and
// SeRestorePrivilege enabled, file access rules then stop neither listing
// nor deleting. Access 0x1000A1 lists a folder (list, traverse, read
// attributes, synchronize); 0x1100A1 adds delete.
// List: FileDirectoryInformation (1) entries: attributes at 56, name length
// at 60, name at 64; "." and ".." left out. Any status that is not success
// ends the listing: a file has no entries.
// OpenFolder: the drive's root, then each component relative to the one
// before and as itself. Past a component that is a junction or a link the
// next one is looked for in the link's own empty folder, and is missing
// (0xC0000034, 0xC000003A): zero without a reason. The folder itself is
// refused when it is a reparse point or a file (FileBasicInformation (4)
// attributes at 32: 0x10 folder, 0x400 reparse point).
constexpr std::string_view kCore = R"cs(
public class QfEntry { public string Name; public int Attributes; }
public static class QfFileTree {
  struct Io { public IntPtr S, I; }
  struct Oa { public int Length; public IntPtr Root, Name; public int Flags; public IntPtr D, Q; }
  [DllImport("ntdll")] static extern int NtOpenFile(out IntPtr h, int a, ref Oa o, out Io i, int s, int p);
  [DllImport("ntdll")] static extern int NtQueryDirectoryFile(IntPtr h, IntPtr e, IntPtr r, IntPtr c, out Io i, byte[] b, int l, int k, byte s, IntPtr m, byte f);
  [DllImport("ntdll")] static extern int NtQueryInformationFile(IntPtr h, out Io i, byte[] b, int l, int k);
  [DllImport("ntdll")] static extern int NtSetInformationFile(IntPtr h, out Io i, byte[] b, int l, int k);
  [DllImport("ntdll")] static extern int NtClose(IntPtr h);
  [DllImport("ntdll")] static extern int RtlNtStatusToDosError(int s);
  public static bool Backup;
  public static int Deleted, Failed;
  public static string Why(int status) { return new Win32Exception(RtlNtStatusToDosError(status)).Message; }
  public static void Close(IntPtr handle) { NtClose(handle); }
  static int Set(IntPtr handle, int kind, byte[] data) { Io io; return NtSetInformationFile(handle, out io, data, data.Length, kind); }
  static int Open(IntPtr folder, string name, int access, out IntPtr handle) {
    IntPtr text = Marshal.StringToHGlobalUni(name), unicode = Marshal.AllocHGlobal(16);
    Marshal.WriteInt32(unicode, 131074 * name.Length);
    Marshal.WriteIntPtr(unicode, IntPtr.Size, text);
    Oa attributes = new Oa { Length = 6 * IntPtr.Size, Root = folder, Name = unicode, Flags = 64 };
    Io io;
    int status = NtOpenFile(out handle, access, ref attributes, out io, 7, Backup ? 0x204020 : 0x200020);
    Marshal.FreeHGlobal(text);
    Marshal.FreeHGlobal(unicode);
    return status;
  }
  public static List<QfEntry> List(IntPtr folder) {
    List<QfEntry> entries = new List<QfEntry>();
    byte[] buffer = new byte[65536];
    for (byte restart = 1; ; restart = 0) {
      Io io;
      if (NtQueryDirectoryFile(folder, IntPtr.Zero, IntPtr.Zero, IntPtr.Zero, out io, buffer, buffer.Length, 1, 0, IntPtr.Zero, restart) < 0) return entries;
      for (int at = 0; ; at += BitConverter.ToInt32(buffer, at)) {
        QfEntry entry = new QfEntry { Attributes = BitConverter.ToInt32(buffer, at + 56), Name = Encoding.Unicode.GetString(buffer, at + 64, BitConverter.ToInt32(buffer, at + 60)) };
        if (entry.Name.Trim((char)46).Length > 0) entries.Add(entry);
        if (BitConverter.ToInt32(buffer, at) == 0) break;
      }
    }
  }
  public static IntPtr OpenFolder(string path, out string why) {
    string[] parts = path.Split((char)92);
    IntPtr handle = IntPtr.Zero;
    int status = parts[0].Length == 2 && parts[0].EndsWith(":") ? 0 : -1073741773;
    for (int i = 0; i < parts.Length && status >= 0; i++) {
      IntPtr folder = handle;
      status = Open(folder, i == 0 ? "\\??" + (char)92 + parts[0] + (char)92 : parts[i], 0x1000A1, out handle);
      if (i > 0) NtClose(folder);
    }
    byte[] basic = new byte[40];
    Io io;
    if (status >= 0) NtQueryInformationFile(handle, out io, basic, 40, 4);
    why = status == -1073741772 || status == -1073741766 ? null : status < 0 ? path + ": " + Why(status) : (basic[32] & 16) == 16 && (basic[33] & 4) == 0 ? null : path + " is a junction, a symbolic link or a file";
    if (status >= 0 && why == null) return handle;
    if (status >= 0) NtClose(handle);
    return IntPtr.Zero;
  }
)cs";

// Remove: opens the object as itself with delete access, and write
// attributes unless that is denied (0xC0000022: 0x1101A1, else 0x1100A1),
// and deletes it, after everything in it when contents is set:
// FileDispositionInformationEx (64) with delete, POSIX semantics (the name
// goes at once, even while another program holds the file open for deletion
// too) and ignore read-only (19); where that fails (a Windows before 10 1809,
// a file system without POSIX semantics), FileDispositionInformation (13),
// and for a read-only object (0xC0000121) once more after plain attributes
// (FileBasicInformation (4): 0x80 at 32). A missing object (0xC0000034)
// counts as deleted.
constexpr std::string_view kRemove = R"cs(
  public static void Remove(IntPtr folder, string name, string shown, bool contents) {
    IntPtr handle;
    int status = Open(folder, name, 0x1101A1, out handle);
    if (status == -1073741790) status = Open(folder, name, 0x1100A1, out handle);
    if (status >= 0) {
      if (contents) foreach (QfEntry entry in List(handle)) Remove(handle, entry.Name, shown + (char)92 + entry.Name, true);
      status = Set(handle, 64, new byte[] { 19, 0, 0, 0 });
      if (status < 0) status = Set(handle, 13, new byte[] { 1 });
      byte[] basic = new byte[40];
      basic[32] = 128;
      if (status == -1073741535 && Set(handle, 4, basic) >= 0) status = Set(handle, 13, new byte[] { 1 });
      NtClose(handle);
    }
    if (status >= 0 || status == -1073741772) { Deleted++; Console.WriteLine("Successfully deleted: " + shown); }
    else { Failed++; Console.WriteLine("WARNING: Unable to delete " + shown + ": " + Why(status)); }
  }
)cs";

// Prune: deletes the empty folders below the folder, deepest first, and
// keeps every file and every link (a link is skipped as the listing shows
// it; one swapped in later is opened as itself, lists as empty and goes as a
// link). True when the folder is left empty.
constexpr std::string_view kPrune = R"cs(
  public static bool Prune(IntPtr folder, string shown) {
    bool empty = true;
    foreach (QfEntry entry in List(folder)) {
      string path = shown + (char)92 + entry.Name;
      IntPtr child;
      bool pruned = false;
      if ((entry.Attributes & 0x410) == 16 && Open(folder, entry.Name, 0x1000A1, out child) >= 0) {
        pruned = Prune(child, path);
        NtClose(child);
      }
      int failed = Failed;
      if (pruned) Remove(folder, entry.Name, path, false);
      else Console.WriteLine("WARNING: " + ((entry.Attributes & 0x410) == 16 ? "Preserving non-empty folder " : "Retaining ") + path + " to safeguard your data.");
      empty = empty && pruned && Failed == failed;
    }
    return empty;
  }
)cs";

// Rename: gives the object, as itself, a new name in the same folder,
// replacing an object of that name (FileRenameInformation, 10: replace at 0,
// the folder's handle at the pointer size, the name's length and the name
// after it).
constexpr std::string_view kRename = R"cs(
  public static int Rename(IntPtr folder, string name, string newName) {
    IntPtr handle;
    int status = Open(folder, name, 0x110080, out handle);
    if (status < 0) return status;
    int size = IntPtr.Size;
    byte[] rename = new byte[2 * size + 4 + 2 * newName.Length];
    rename[0] = 1;
    BitConverter.GetBytes(folder.ToInt64()).CopyTo(rename, size);
    BitConverter.GetBytes(2 * newName.Length).CopyTo(rename, 2 * size);
    Encoding.Unicode.GetBytes(newName).CopyTo(rename, 2 * size + 4);
    status = Set(handle, 10, rename);
    NtClose(handle);
    return status;
  }
)cs";

constexpr std::string_view kUsings =
    "using System; using System.Collections.Generic; using System.ComponentModel; "
    "using System.Runtime.InteropServices; using System.Text;";

// Enables SeBackupPrivilege (17), SeRestorePrivilege (18) and
// SeTakeOwnershipPrivilege (9), which an administrator holds disabled, in the
// step's own token: one AdjustTokenPrivileges call with a TOKEN_PRIVILEGES of
// three LUID_AND_ATTRIBUTES (low part at 4 + 12 i, SE_PRIVILEGE_ENABLED at
// 12 + 12 i). False when any of them is not held. The token handle closes
// with the step's process.
constexpr std::string_view kTokenPrivilege = R"cs(
public static class QfTokenPrivilege {
  [DllImport("advapi32")] static extern bool OpenProcessToken(IntPtr p, int a, out IntPtr t);
  [DllImport("advapi32", SetLastError = true)] static extern bool AdjustTokenPrivileges(IntPtr t, bool d, byte[] n, int l, IntPtr p, IntPtr r);
  public static bool Enable() {
    IntPtr token;
    byte[] state = new byte[40];
    state[0] = 3;
    state[4] = 17;
    state[16] = 18;
    state[28] = 9;
    state[12] = state[24] = state[36] = 2;
    return OpenProcessToken((IntPtr)(-1), 0x28, out token) && AdjustTokenPrivileges(token, false, state, 0, IntPtr.Zero, IntPtr.Zero) && Marshal.GetLastWin32Error() == 0;
  }
}
)cs";

constexpr std::string_view kEnablePrivileges =
    "if (-not [QfTokenPrivilege]::Enable()) { Write-Warning 'Could not enable the backup, restore and take-ownership "
    "privileges.' }";

// The C# text as one line: every line trimmed, joined by a space.
std::string OneLine(std::string_view text) {
  std::string joined;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    size_t first = line.find_first_not_of(' ');
    if (first == std::string_view::npos) continue;
    if (!joined.empty()) joined += ' ';
    joined += line.substr(first);
  }
  return joined;
}

}  // namespace

std::string AddTypeScript(std::string_view csharp) {
  // The compiler of Windows PowerShell writes its source and the built
  // assembly to the temporary folder, and the step then loads that assembly:
  // in the user's own temporary folder an unelevated process could swap
  // either. In the system's temporary folder, files made by administrators
  // are out of other users' reach.
  return "$compilerTemp = @($env:TMP, $env:TEMP); "
         "$env:TMP = $env:TEMP = Join-Path ([System.Environment]::GetFolderPath('Windows')) 'Temp'; "
         "try { Add-Type -TypeDefinition " +
         PsQuote(OneLine(csharp)) + " } finally { $env:TMP, $env:TEMP = $compilerTemp }";
}

std::string_view EnablePrivilegesScript() {
  static const std::string script =
      JoinStatements({AddTypeScript(std::string("using System; using System.Runtime.InteropServices; ") +
                                    std::string(kTokenPrivilege)),
                      kEnablePrivileges});
  return script;
}

std::string FileTreeScript(FileTreeUse use, bool privileged) {
  std::string csharp(kUsings);
  if (privileged) csharp += kTokenPrivilege;
  csharp += kCore;
  csharp += use == FileTreeUse::kRename ? kRename : kRemove;
  if (use == FileTreeUse::kPrune) csharp += kPrune;
  csharp += "}";
  return JoinStatements({
      AddTypeScript(csharp),
      privileged ? kEnablePrivileges : "",
      privileged ? "[QfFileTree]::Backup = $true" : "",
  });
}
