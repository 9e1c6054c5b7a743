#pragma once
// Writing files so that a failure at any moment leaves them whole. Each
// answers 0 on success and the system's error code otherwise.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Appends `bytes` to the file, creating it when missing, and returns only
// after the system has written them to the disk. All or nothing: when the
// write fails, the file is cut back to its old length. A file created with
// `administratorsOnly` gets a protected DACL that lets the Administrators
// group and SYSTEM in and nobody else, whatever its folder would hand down.
uint32_t AppendToFile(const std::u16string& path, std::string_view bytes, bool administratorsOnly);

// Gives the file exactly `content`: written to a new file beside it, flushed
// to the disk, then swapped in by name, so that the file holds either its old
// or its new content whenever the power fails. An existing file keeps its
// security and attributes; a new one is made as AppendToFile makes it.
uint32_t ReplaceFileContent(const std::u16string& path, std::string_view content, bool administratorsOnly);

// Deletes a file; 0 also when it is missing.
uint32_t RemoveFile(const std::u16string& path);

// Renames a file; never replaces an existing one.
uint32_t RenameFile(const std::u16string& from, const std::u16string& to);

// Creates one folder; 0 also when a folder of that name exists.
uint32_t CreateFolder(const std::u16string& path);

}  // namespace platform
