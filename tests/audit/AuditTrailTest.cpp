// SPDX-License-Identifier: GPL-3.0-or-later
// The audit trail through a whole chain of changes against the simulated
// logger (core calls and kolvex12-cli), its verification after an outside
// change of a table and of the trail, the clock drift at a download with
// --sync-clock, and the communication record of a command.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "Process.h"
#include "archive/Adm.h"
#include "base/AuditTrail.h"
#include "base/DateTime.h"
#include "base/Language.h"
#include "base/Sha256.h"
#include "link/CommSettings.h"
#include "link/LinkTrace.h"
#include "link/SerCom.h"
#include "logger/ArchiveParamsModel.h"
#include "logger/LoggerAudit.h"
#include "logger/LoggerOps.h"
#include "logger/ServiceViews.h"
#include "sim/Simulator.h"

using nlohmann::json;
using namespace kolvex;
using kolvex::e2e::CliPath;
using kolvex::e2e::Result;
using kolvex::e2e::RunProgram;

namespace {

namespace fs = std::filesystem;

class Scratch {
public:
    Scratch() {
        char tmpl[] = "/tmp/kolvex-audit-XXXXXX";
        dir_ = ::mkdtemp(tmpl);
    }
    ~Scratch() {
        SetAuditFolder("");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const std::string& Dir() const { return dir_; }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

Result Cli(const std::string& dir, std::vector<std::string> args) {
    return RunProgram(CliPath(), args, 60000, dir);
}

std::vector<json> Entries(const std::string& dir) {
    std::vector<json> out;
    for (const AuditLine& l : ReadAuditTrail(AuditFilePath(dir))) out.push_back(l.Entry);
    return out;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace

TEST(AuditTrail, DigestsMatchKnownVectors) {
    // FIPS 180-2 examples: a broken digest breaks every chain and table check.
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(AuditTrail, EveryChangeHasItsEntryAndVerificationFindsOutsideChanges) {
    SetLanguage(1);
    Scratch s;
    SetAuditFolder(s.Dir());
    sim::SimOptions options;
    options.Samples = 300;
    sim::Simulator sim(options);
    const std::string pty = sim.Start();

    // 1. Parameter store with a changed alarm limit: the logger asks to empty
    // its archive, so the store also erases it (core calls, as the editor).
    {
        TSerCom port;
        LoggerData data;
        LoggerOps ops(port, data);
        OpenPortDirect(port, pty, 20, 100);
        ops.ReadSerialNumber();
        InputTable tables[2];
        const ParameterBlock read = ReadArchiveParams(ops, tables);
        ParameterBlock edited = read;
        edited.Input[0].AlarmHighRaw = static_cast<std::uint16_t>(read.Input[0].AlarmHighRaw + 100);
        edited.SetLogger("Cold room 2");
        EXPECT_EQ(StoreArchiveParams(ops, read, edited, [](const std::string&) { return true; }),
                  StoreResult::WrittenAndEmptied);
        port.Close();
    }
    // 2. The clock, set from the PC by the command-line tool.
    Result r = Cli(s.Dir(), {"--port", pty, "clock", "--set"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    // 3. New records, then a download into the folder.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    r = Cli(s.Dir(), {"--port", pty, "download", "--dir", s.Dir(), "--mode", "all", "--split", "year", "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json dl = json::parse(r.Out);
    ASSERT_EQ(dl["files"].size(), 1u);
    const std::string table = dl["files"][0]["path"];
    const std::uint64_t stored = dl["records_added"];
    ASSERT_GT(stored, 10u);
    // 4. Records of a period deleted (core calls, as the deletion dialog).
    double first = 0, last = 0;
    std::int32_t deleted = 0;
    {
        FixedAnswerer yes(true);
        TADM adm(&yes);
        ASSERT_TRUE(adm.OpenArchive(table));
        adm.Table1.First();
        first = adm.Table1.AsDateTime(0);
        adm.Table1.Last();
        last = adm.Table1.AsDateTime(0);
        deleted = adm.DeleteRecordsInPeriod(first, first + (last - first) / 2);
        adm.CloseArchive();
    }
    ASSERT_GT(deleted, 0);
    // 5. The table cut short (a crash in the middle of a record), then repaired.
    ASSERT_EQ(::truncate(table.c_str(), static_cast<off_t>(fs::file_size(table) - 3)), 0);
    r = Cli(s.Dir(), {"repair", table});
    ASSERT_EQ(r.Status, 0) << r.Err;

    const std::vector<json> e = Entries(s.Dir());
    std::vector<std::string> actions;
    for (const json& j : e) actions.push_back(j.value("action", ""));
    EXPECT_EQ(actions, (std::vector<std::string>{audit::ParameterStore, audit::ArchiveErase, audit::ClockSet,
                                                 audit::Download, audit::RecordDeletion, audit::Repair}));
    ASSERT_EQ(e.size(), 6u);
    for (const json& j : e) {
        for (const char* k : {"utc", "local", "user", "host", "program", "version", "prev"})
            EXPECT_TRUE(j.contains(k)) << k << " in " << j.dump();
    }
    // The store names the changed fields, shown and raw; the logger by its serial number.
    EXPECT_EQ(e[0]["object"]["serial"], "00084321");
    bool alarm = false, name = false;
    for (const json& c : e[0]["details"]["changes"]) {
        alarm |= c["field"] == "input1.alarm_high" && c["old_raw"] != c["new_raw"] && c["old"] != c["new"];
        name |= c["field"] == "logger_name" && c["new"] == "Cold room 2";
    }
    EXPECT_TRUE(alarm && name) << e[0].dump();
    EXPECT_EQ(e[1]["details"]["read_after"], e[1]["details"]["write"]);
    EXPECT_TRUE(e[2]["details"]["old"].is_string());
    EXPECT_TRUE(e[2]["details"]["new"].is_string());
    EXPECT_EQ(e[2]["program"], "kolvex12-cli");
    EXPECT_EQ(e[3]["details"]["records_added"], stored);
    EXPECT_EQ(e[3]["details"]["bookmark"]["to"], dl["bookmark"]);
    EXPECT_TRUE(e[3]["details"]["drift"]["seconds"].is_number());
    EXPECT_EQ(e[4]["details"]["deleted"], deleted);
    EXPECT_EQ(e[4]["details"]["from"], FormatIsoDateTime(first, true));
    EXPECT_EQ(e[5]["details"]["backup"], AbsolutePath(table.substr(0, table.size() - 4) + ".dbfbak"));
    // Table digests after every write; the last one is the table as it is.
    const auto now = DigestFile(table);
    ASSERT_TRUE(now);
    EXPECT_EQ(e[5]["tables"][0]["sha256"], now->Sha256);
    EXPECT_EQ(e[5]["tables"][0]["size"], now->Size);

    // Intact.
    r = Cli(s.Dir(), {"audit", "--verify"});
    EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
    r = Cli(s.Dir(), {"audit", "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(json::parse(r.Out)["entries"].size(), 6u);

    // One byte of a record changed outside the program.
    const std::string original = ReadText(table);
    std::string changed = original;
    changed[changed.size() - 5] ^= 0x01;
    WriteText(table, changed);
    r = Cli(s.Dir(), {"audit", "--verify", "--json"});
    EXPECT_EQ(r.Status, 1);
    json v = json::parse(r.Out);
    ASSERT_EQ(v["problems"].size(), 1u) << r.Out;
    EXPECT_EQ(v["problems"][0]["table"], AbsolutePath(table));
    WriteText(table, original);

    // A line taken out of the trail.
    const std::string trail = AuditFilePath(s.Dir());
    std::string text = ReadText(trail);
    const auto a = text.find('\n'), b = text.find('\n', a + 1);
    WriteText(trail, text.substr(0, a + 1) + text.substr(b + 1));
    r = Cli(s.Dir(), {"audit", "--verify", "--json"});
    EXPECT_EQ(r.Status, 1);
    v = json::parse(r.Out);
    ASSERT_EQ(v["problems"].size(), 1u) << r.Out;
    EXPECT_EQ(v["problems"][0]["line"], 2);
    sim.Stop();
}

TEST(AuditTrail, DownloadWarnsOfADriftedClockAndSyncsItOnce) {
    SetLanguage(1);
    Scratch s;
    sim::Simulator sim;
    const std::string pty = sim.Start();
    {
        // The logger's clock five minutes ahead of the PC.
        TSerCom port;
        LoggerData data;
        LoggerOps ops(port, data);
        OpenPortDirect(port, pty, 20, 100);
        ops.WriteClock(DateTimeToClock(NowLocal() + 300.0 / 86400.0));
        port.Close();
    }
    sim.ClearReceivedFrames();
    Result r = Cli(s.Dir(), {"--port", pty, "download", "--dir", s.Dir(), "--sync-clock", "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json j = json::parse(r.Out);
    EXPECT_NEAR(j["drift"]["seconds"].get<double>(), 300, 2);
    EXPECT_TRUE(j["drift"]["exceeded"].get<bool>());
    EXPECT_TRUE(j["clock_set"].get<bool>());
    EXPECT_NE(r.Err.find("ahead of the PC"), std::string::npos) << r.Err;
    int clockWrites = 0;
    for (const auto& f : sim.ReceivedFrames()) clockWrites += f.size() > 3 && f[3] == 0x88;
    EXPECT_EQ(clockWrites, 1);
    // Now within the limit: neither a warning nor a write.
    sim.ClearReceivedFrames();
    r = Cli(s.Dir(), {"--port", pty, "download", "--dir", s.Dir(), "--sync-clock", "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_FALSE(json::parse(r.Out)["clock_set"].get<bool>());
    EXPECT_LE(std::abs(json::parse(r.Out)["drift"]["seconds"].get<int>()), 2);
    for (const auto& f : sim.ReceivedFrames()) EXPECT_FALSE(f.size() > 3 && f[3] == 0x88);
    // Both sets are in the trail of the working folder.
    int sets = 0;
    for (const json& e : Entries(s.Dir())) sets += e["action"] == audit::ClockSet;
    EXPECT_EQ(sets, 1);
    sim.Stop();
}

TEST(AuditTrail, TraceHoldsEveryFrameInOrderAndTheFailingOnes) {
    Scratch s;
    sim::Simulator sim;
    const std::string pty = sim.Start();
    Result r = Cli(s.Dir(), {"--port", pty, "--trace", s.Path("info.txt"), "info"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto frames = sim.ReceivedFrames();
    std::vector<std::string> sent, received;
    std::istringstream in(ReadText(s.Path("info.txt")));
    for (std::string line; std::getline(in, line);) {
        std::istringstream ls(line);
        std::string stamp, what, n;
        ls >> stamp >> what;
        if (what == "tx") {
            ls >> n;
            std::string hex;
            std::getline(ls, hex);
            sent.push_back(hex.substr(1));
        }
        if (what == "rx") received.push_back(line);
    }
    ASSERT_FALSE(frames.empty());
    ASSERT_EQ(sent.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(sent[i], LinkTrace::Hex(frames[i].data(), frames[i].size())) << i;
    EXPECT_EQ(received.size(), frames.size());

    // A download whose archive reads go unanswered: the trace shows them.
    sim.RefuseCommand(0x23);
    r = Cli(s.Dir(), {"--port", pty, "--trace", s.Path("download.txt"), "download", "--dir", s.Dir(), "--retries", "0"});
    EXPECT_EQ(r.Status, 1);
    const std::string t = ReadText(s.Path("download.txt"));
    EXPECT_NE(t.find("read  area 0x23"), std::string::npos);
    EXPECT_NE(t.find("tx #3 5A"), std::string::npos);
    EXPECT_NE(t.find("time-out  attempt 3: 0 of"), std::string::npos);
    EXPECT_NE(t.find("exit  status 1"), std::string::npos);
    sim.Stop();
}

TEST(AuditTrail, SummerTimeStepsAreFoundOnlyAtTheChange) {
    const char* before = std::getenv("TZ");
    const std::string saved = before ? before : "";
    ::setenv("TZ", "Europe/Prague", 1);
    ::tzset();
    struct Case {
        const char* Name;
        int Year, Month, Day, Hour, Minute;
        int JumpMinutes;  // added to the usual 10-minute step at the fifth record
        int Findings;
        bool Repeated;
    };
    const Case cases[] = {
        {"spring: an hour skipped", 2026, 3, 29, 1, 20, 60, 1, false},
        {"autumn: an hour repeated", 2026, 10, 25, 2, 20, -60, 1, true},
        {"summer: a gap is no change", 2026, 6, 10, 1, 20, 60, 0, false},
        {"spring: no step at all", 2026, 3, 29, 1, 20, 0, 0, false},
    };
    for (const Case& c : cases) {
        SummerTimeCheck check;
        double t = *TryEncodeDateTime(c.Year, c.Month, c.Day, c.Hour, c.Minute, 0);
        for (int i = 0; i < 10; ++i) {
            check.Add(t);
            t += (10 + (i == 4 ? c.JumpMinutes : 0)) / 1440.0;
        }
        ASSERT_EQ(check.Findings().size(), static_cast<std::size_t>(c.Findings)) << c.Name;
        if (c.Findings) {
            EXPECT_EQ(check.Findings()[0].Repeated, c.Repeated) << c.Name;
        }
    }
    if (before) ::setenv("TZ", saved.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
}
