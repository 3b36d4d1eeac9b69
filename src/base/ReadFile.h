// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening files for reading. Every file the program reads goes through here:
// it is opened without blocking, so that a named pipe or a device in place of
// the file cannot hang the program, and it is used only when it is a regular
// file. Anything else is refused at once with a message naming it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kolvex {

enum class ReadOpen { Opened, Missing, NotRegular, Failed };

struct ReadableFile {
    int Fd = -1;  // open (in blocking mode again) when Result is Opened
    ReadOpen Result = ReadOpen::Failed;
    int Error = 0;  // errno of a failed open
    std::int64_t Size = 0;
};

// Opens path for reading, or for reading and writing when `writable` is set
// (a symbolic link to a regular file counts as that file).
ReadableFile OpenRegularFile(const std::string& path, bool writable = false);

// Whether path names a regular file that can be opened for reading; never blocks.
bool IsReadableRegularFile(const std::string& path);

// "The file  <path>  is not a regular file" in the current language.
std::string NotRegularFileMessage(const std::string& path);
// The message of a failed open: not a regular file, or "<path>: <OS reason>".
std::string ReadFailureMessage(const std::string& path, const ReadableFile& file);

// Reads at most maxBytes from the start of a regular file. A missing file is
// nullopt with *refusal left empty; any other failure is nullopt with the
// message naming the file in *refusal (when given).
std::optional<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path, std::size_t maxBytes,
                                                         std::string* refusal = nullptr);

}  // namespace kolvex
