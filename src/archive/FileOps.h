// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File services of the archive storage: existence, delete, rename, extension
// replacement, and whole-file writes that go through a temporary file in the
// same directory and a rename, so a crash leaves either the old or the new file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/SafeFile.h"  // SyncDirectoryOf

namespace kolvex {

bool FileExists(const std::string& path);  // a regular file (or a link to one)
bool DeleteFileIfExists(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
// Replaces the extension (from the last '.' after the last '/'), or appends it.
std::string ReplaceExtension(const std::string& path, const std::string& ext);
std::string ExtractFileName(const std::string& path);
std::string ExtractFileDir(const std::string& path);  // without the trailing '/'
std::string ExtractFileExt(const std::string& path);  // with the dot, or ""

// The name a rewrite of path uses for its temporary file: beside it,
// unpredictable, within the file-name limit (see TemporaryNameFor).
std::string TemporaryPathFor(const std::string& path);
// Makes the data of fd durable before a rename puts it into place.
void SyncFile(int fd);

// Writes data to a new temporary file (created exclusively, never through a
// link), syncs it and renames it over path, keeping the mode and owner of
// the file it replaces. False with errno when any step fails (the old file
// is then unchanged); a symbolic link at path is refused with ELOOP.
bool WriteFileAtomic(const std::string& path, const std::uint8_t* data, std::size_t size);
// Reads at most maxBytes from the start of a regular file; nullopt when it
// cannot be opened.
std::optional<std::vector<std::uint8_t>> ReadFileHead(const std::string& path, std::size_t maxBytes);

}  // namespace kolvex
