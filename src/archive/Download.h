// SPDX-License-Identifier: GPL-3.0-or-later
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

#include "base/ConfigRecord.h"
#include "base/Language.h"
#include "archive/PeriodSummary.h"
#include "archive/ArchiveReader.h"
#include "logger/LoggerAudit.h"
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
    // The target folder does not exist: may it be created? Without a question
    // (false) the download ends with an error naming the folder.
    virtual bool ConfirmCreateFolder(const std::string& dir) {
        (void)dir;
        return false;
    }
    // True once the user (or a termination signal) asked the download to
    // stop, asked before and after every step of the range: the reading ends
    // as after Abort (the records read so far are stored, the bookmark
    // follows them).
    virtual bool StopRequested() { return false; }
    // Records read so far, told before each Progress.
    virtual void RecordsRead(std::uint64_t records) { (void)records; }
};

struct DownloadFile {
    std::string Path;
    std::uint64_t RecordsAdded = 0;
    std::uint64_t AlreadyStored = 0;  // identical records the table held already
};

struct DownloadResult {
    bool Started = false;  // false when the user stopped before anything was read
    std::vector<DownloadFile> Files;
    std::uint64_t Records = 0;           // decoded and stored in the temporary table
    std::optional<std::int32_t> Bookmark;  // the read pointer written
    bool Aborted = false;
    // Why the reading was aborted: the last communication error, or empty
    // when it was stopped on request.
    std::string AbortReason;
    int FormatErrors = 0;
    std::string ShownPath;  // the table to show afterwards
    // Set when the records were stored but the logger's read pointer could
    // not be moved (the text says so; the next download stores nothing twice).
    std::string BookmarkError;

    // The logger's clock against the PC's, read after the records were
    // stored (empty when it could not be read: DriftError says why).
    std::optional<ClockDrift> Drift;
    std::string DriftError;
    // The read pointer before the download (the bookmark moved from there).
    std::optional<std::int32_t> BookmarkBefore;
    // Hours repeated or skipped at a summer-time change (records kept as they are).
    std::vector<SummerTimeFinding> SummerTime;
    // Set when the download's audit entry could not be written.
    std::string AuditError;
    // The records read by this download checked against the alarm limits of
    // their parameter record (the excursions are in Inputs[k].Excursions);
    // empty when nothing was read.
    std::optional<PeriodSummary> Check;

    std::uint64_t RecordsAdded() const;
    std::uint64_t AlreadyStored() const;
};

// The logger's file name made safe as a file name: "/" and control
// characters become "_"; empty after trimming, "." or ".." give "".
std::string SafeLoggerFileName(const std::string& name);

// The base path of a download (dir + name + ext) from LastArchivePath and the
// name source; nullopt when there is none (cancelled or an unknown source).
// A folder that does not exist is created only when the user agrees;
// otherwise EADM names it.
std::optional<std::string> TargetFileName(const ConfigRecord& config, const LoggerImage& image, DownloadUi* ui);

// The confirmation text of a split download.
std::string DownloadQuestion(const std::string& basePath, std::int32_t splitFlags, Lang lang);

// The whole download. A record identical to one that an existing target
// already holds (the same time stamp and values) is not appended again, so a
// repeated download stores every record exactly once. When `partial` is
// given, it holds the counts so far also when an error ends the download.
// Every download that started reads the logger's clock at its end (a warning
// through ui.Message above the drift limit or at a summer-time step) and
// writes its audit entry, also when an error ends it. The drift limit is
// DriftLimitSeconds() of logger/LoggerAudit.h.
DownloadResult ReadArchive(LoggerOps& ops, TADM& adm, ConfigRecord& config, DownloadUi& ui,
                           DownloadResult* partial = nullptr);

// The name of a download's temporary table in dir: hidden, with this
// process's id and a random part, so that no user file bears it.
std::string TemporaryTableName(const std::string& dir);
// Removes what a killed download left in dir: temporary tables and
// temporary files of an atomic write, each only when its name is ours and
// the process named in it no longer runs. Returns the number removed.
int CleanStaleDownloadFiles(const std::string& dir);

}  // namespace kolvex
