#pragma once

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kolvex {
struct DownloadResult;
}

namespace kolvex::cli {

// download [--dir DIR] [--name-source param|serial] [--file PATH]
//          [--split year,month,week,day] [--mode bookmark|all] [--no-bookmark]
//          [--ext dbf|db] [--retries N] [--json]
// The result is also copied to `result`, and the error that ended it (empty
// when none) to `error`, when given.
int RunDownload(const Options& options, const std::vector<std::string>& args, DownloadResult* result = nullptr,
                std::string* error = nullptr);

}  // namespace kolvex::cli
