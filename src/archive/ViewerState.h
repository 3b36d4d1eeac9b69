// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the viewer showed when the program ended: the table and the chart's
// visible period, kept in a small text file beside the configuration file
// ("kolvex12.view"), so that the next start shows the same.

#include <optional>
#include <string>

namespace kolvex {

struct ViewerState {
    std::string TablePath;
    double Start = 0, End = 0;  // the chart's bottom axis
};

// The state file beside the configuration file.
std::string ViewerStatePath(const std::string& configPath);
// nullopt when the file is missing or not of this form; a file that is no
// regular file is refused with its message in *refusal (when given).
std::optional<ViewerState> LoadViewerState(const std::string& path, std::string* refusal = nullptr);
// False when it cannot be written (the state is a convenience: no error).
bool SaveViewerState(const std::string& path, const ViewerState& state);

}  // namespace kolvex
