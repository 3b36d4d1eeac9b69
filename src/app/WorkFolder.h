// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The working folder of a start from the application menu. The program keeps
// "kolvex12.cfg" and its tables in its working folder; a session manager
// starts menu entries in an arbitrary folder, so the desktop entry asks for
// the user's data folder instead: $XDG_DATA_HOME/kolvex12, or
// ~/.local/share/kolvex12 when the variable is unset, empty or not an
// absolute path. A start from a terminal keeps the current folder.

#include <string>

namespace kolvex {

// The user's data folder of this program, from the given environment values
// (either may be null); an empty result when neither gives an absolute path.
std::string UserDataFolder(const char* xdgDataHome, const char* home);

// The same from the process environment, with the password database as the
// last resort for the home folder.
std::string UserDataFolder();

// Creates the folder (and its parents) when missing, private to the user,
// and makes it the current directory. Throws EKolvex naming the folder and
// the operating system's reason when that fails.
void EnterFolder(const std::string& folder);

}  // namespace kolvex
