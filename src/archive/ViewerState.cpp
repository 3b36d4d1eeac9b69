// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ViewerState.h"

#include "archive/FileOps.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/ReadFile.h"

namespace kolvex {

std::string ViewerStatePath(const std::string& configPath) {
    const std::size_t slash = configPath.find_last_of('/');
    const std::size_t dot = configPath.find_last_of('.');
    const std::string base = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? configPath.substr(0, dot)
                                 : configPath;
    return base + ".view";
}

std::optional<ViewerState> LoadViewerState(const std::string& path, std::string* refusal) {
    const auto bytes = ReadRegularFile(path, 64 << 10, refusal);
    if (!bytes) return std::nullopt;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    ViewerState s;
    std::string range;
    if (!std::getline(in, s.TablePath) || !std::getline(in, range) || s.TablePath.empty()) return std::nullopt;
    std::istringstream r(range);
    r.imbue(std::locale::classic());
    if (!(r >> s.Start >> s.End) || !std::isfinite(s.Start) || !std::isfinite(s.End) || !(s.End > s.Start))
        return std::nullopt;
    return s;
}

bool SaveViewerState(const std::string& path, const ViewerState& s) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(17);
    out << s.TablePath << '\n' << s.Start << ' ' << s.End << '\n';
    const std::string text = out.str();
    return WriteFileAtomic(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace kolvex
