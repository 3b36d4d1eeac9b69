#pragma once
// The archive download: refresh the logger data, choose the target file,
// read the archive range into the temporary table, copy the records into the
// target tables split by year, month, week or day, and move the logger's
// read pointer. Everything the user is asked goes through DownloadUi.
//
// Unlike the plain design, nothing is acknowledged to the logger before it is
// safe: the read pointer is moved only after every target table and its
// parameter file are on disk, and after an aborted range it is moved only up
// to the first record that was not stored.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/ConfigRecord.h"
#include "app/Language.h"
#include "archive/ArchiveReader.h"
#include "logger/Records.h"

namespace kolvex {

class LoggerOps;
class TADM;

// The four settings that steer a download (fields of the configuration record).
struct StoringOptions {
    std::int32_t NameSource = 0;  // 0 logger's file name, 1 serial number, 2 chosen by the user
    std::int32_t SplitFlags = 1;  // bit 0 year, 1 month, 2 week, 3 day
    std::int32_t ReadMode = 0;    // 1 all, anything else from the bookmark
    bool InsertBookmark = true;

    static StoringOptions From(const ConfigRecord& c);
    void To(ConfigRecord& c) const;
};
// The defaults when there is no configuration file (ApplyStoringDefaults of
// app/ConfigDefaults.h writes them into the configuration record).
StoringOptions StoringDefaults();

class DownloadUi {
public:
    virtual ~DownloadUi() = default;
    virtual void Message(const std::string& text) = 0;
    // The storing parameters dialog; the options change only when confirmed.
    virtual void EditStoringOptions(StoringOptions& options) = 0;
    virtual bool Confirm(const std::string& question) = 0;
    // The open dialog for a user-chosen file; nullopt when cancelled.
    virtual std::optional<std::string> ChooseTargetFile(const std::string& proposedPath) = 0;
    // "Communication error" with Abort and Retry.
    virtual StepFailure CommError(const std::string& message) = 0;
    virtual void ProgressStart(const std::string& message) = 0;
    virtual void Progress(int percent) = 0;  // also lets the user interface run
    virtual void ProgressEnd() = 0;
    virtual void Information(const std::string& text) = 0;
};

struct DownloadFile {
    std::string Path;
    std::uint64_t RecordsAdded = 0;
};

struct DownloadResult {
    bool Started = false;  // false when the user stopped before anything was read
    std::vector<DownloadFile> Files;
    std::uint64_t Records = 0;           // decoded and stored in the temporary table
    std::optional<std::int32_t> Bookmark;  // the read pointer written
    bool Aborted = false;
    int FormatErrors = 0;
    std::string ShownPath;  // the table to show afterwards
};

// The logger's file name made safe as a file name: "/" and control
// characters become "_"; empty after trimming, "." or ".." give "".
std::string SafeLoggerFileName(const std::string& name);

// The base path of a download (dir + name + ext) from LastArchivePath and the
// name source; nullopt when there is none (cancelled or an unknown source).
std::optional<std::string> TargetFileName(const ConfigRecord& config, const LoggerImage& image, DownloadUi* ui);

// The confirmation text of a split download.
std::string DownloadQuestion(const std::string& basePath, std::int32_t splitFlags, Lang lang);

DownloadResult ReadArchive(LoggerOps& ops, TADM& adm, ConfigRecord& config, DownloadUi& ui);

}  // namespace kolvex
