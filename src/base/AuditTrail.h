// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The audit trail: an append-only file "kolvex12-audit.jsonl" in the data
// folder (beside "kolvex12.cfg"), one JSON object per line for every change
// the program makes to a logger or a table. Each line carries the SHA-256 of
// the line before it, so that a line changed, removed or inserted later
// breaks the chain; after a table write it also carries the table's size and
// SHA-256, so that a table changed outside the program is found.
//
// An entry is written and synced to the disk before the action is reported
// done. A failure to write it is an EAudit error that says the action itself
// was carried out; the action is not undone.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/Errors.h"
#include "base/Language.h"

namespace kolvex {

class EAudit : public EKolvex {
public:
    explicit EAudit(const std::string& message) : EKolvex(message) {}
};

inline constexpr const char* kAuditFileName = "kolvex12-audit.jsonl";

// Actions (the "action" member of an entry).
namespace audit {
inline constexpr const char* ParameterStore = "parameter_store";
inline constexpr const char* ClockSet = "clock_set";
inline constexpr const char* ArchiveErase = "archive_erase";
inline constexpr const char* Download = "download";
inline constexpr const char* RecordDeletion = "record_deletion";
inline constexpr const char* TableDeletion = "table_deletion";
inline constexpr const char* Repair = "repair";
inline constexpr const char* Conversion = "conversion";
}  // namespace audit

// The program named in every entry.
void SetAuditProgram(const std::string& name, const std::string& version);
// The data folder whose trail takes the entries of this process (made
// absolute). Until it is set, nothing is written: the programs set it at
// start-up, tests where they need it. An empty folder switches it off again.
void SetAuditFolder(const std::string& folder);
std::string AuditFolder();
std::string AuditFilePath(const std::string& folder);

struct AuditEvent {
    std::string Action;
    nlohmann::json Object = nlohmann::json::object();   // logger type and serial, or a table path
    nlohmann::json Details = nlohmann::json::object();
    std::vector<std::string> Tables;         // written: their size and SHA-256 go into the entry
    std::vector<std::string> DeletedTables;  // removed by the action
};

// Appends the entry to the trail of AuditFolder() (nothing when none is set)
// and syncs it. Throws EAudit naming the file and the reason.
void WriteAudit(const AuditEvent& event);
// The same for the trail in `folder`.
void AppendAuditEntry(const std::string& folder, const AuditEvent& event);
// WriteAudit for an action that is done already: the failure's message, or
// an empty text when the entry is on the disk.
std::string WriteAuditReporting(const AuditEvent& event) noexcept;

// The object of an entry about a table: its absolute path.
nlohmann::json TableObject(const std::string& path);
std::string AbsolutePath(const std::string& path);

// ---- reading ----------------------------------------------------------------

struct AuditLine {
    std::size_t Number = 0;  // 1-based line number
    std::string Text;
    bool Valid = false;      // a JSON object
    nlohmann::json Entry;
};
// Every line of the trail; a missing file gives none. Throws EAudit when the
// file exists but cannot be read.
std::vector<AuditLine> ReadAuditTrail(const std::string& path);

// The UTC time of an entry in seconds since 1970; nullopt when it has none.
std::optional<std::int64_t> AuditEntryTime(const nlohmann::json& entry);
// "YYYY-MM-DD", "YYYY-MM-DD hh:mm" or "YYYY-MM-DD hh:mm:ss" (also with a "T")
// in local time, as seconds since 1970; `endOfPeriod` takes the last second
// of a date or minute given without seconds.
std::optional<std::int64_t> ParseAuditTime(const std::string& text, bool endOfPeriod);

// The caption of an action in the language.
std::string AuditActionText(const std::string& action, Lang lang);
// The object of an entry as one short text ("type 4, serial 00084321" or a path).
std::string AuditObjectText(const nlohmann::json& entry, Lang lang);
// The details of an entry as one readable line.
std::string AuditDetailsText(const nlohmann::json& entry);

// ---- verification -----------------------------------------------------------

struct AuditProblem {
    std::size_t Line = 0;  // the trail's line, 0 for a table
    std::string Path;      // the table, empty for the chain
    std::string Text;      // in the current language
};
struct AuditVerification {
    std::size_t Entries = 0;
    std::size_t Tables = 0;
    std::vector<AuditProblem> Problems;
    bool Ok() const { return Problems.empty(); }
};
// Checks the chain line by line and re-hashes every table against its last
// entry: a table changed, missing, or present again after its deletion is
// listed. Throws EAudit when the trail cannot be read.
AuditVerification VerifyAuditTrail(const std::string& path);
// "Audit trail intact: N entries, M tables" or the number of problems.
std::string AuditVerificationText(const AuditVerification& v, Lang lang);

}  // namespace kolvex
