// SPDX-License-Identifier: GPL-3.0-or-later
// Unattended and shared use: two loggers writing into one table at once,
// symbolic links planted at the names the program writes, one lock for every
// spelling of a port, no simulated logger by surprise, and a reason for
// every run that did not end well.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "Process.h"

using nlohmann::json;
using namespace kolvex::e2e;
namespace fs = std::filesystem;

namespace {

struct Scratch {
    fs::path Dir;
    Scratch() {
        char tmpl[] = "/tmp/kolvex-shared-XXXXXX";
        Dir = ::mkdtemp(tmpl);
        // Locks of this test only, in a folder of its own.
        fs::create_directories(Dir / "locks");
        fs::permissions(Dir / "locks", fs::perms::owner_all);
        setenv("KOLVEX_LOCK_DIR", (Dir / "locks").c_str(), 1);
    }
    ~Scratch() {
        unsetenv("KOLVEX_LOCK_DIR");
        fs::remove_all(Dir);
    }
};

std::string Text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The records of a table as dump prints them, one line each.
std::vector<std::string> Rows(const fs::path& table) {
    const Result r = RunProgram(CliPath(), {"dump", table.string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    std::vector<std::string> rows;
    std::istringstream in(r.Out);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line))
        if (!line.empty()) rows.push_back(line);
    return rows;
}

}  // namespace

TEST(SharedUse, TwoLoggersIntoOneTableAtOnceStoreEveryRecordOnce) {
    Scratch s;
    // Other sensors, so that no record of one equals a record of the other.
    SimProcess a({"--serial", "1001", "--samples", "300", "--period", "10", "--unit", "sec", "--archive-size", "4096"});
    SimProcess b({"--serial", "1002", "--samples", "300", "--period", "7", "--unit", "min", "--archive-size", "4096",
                  "--input1", "0x01", "--input2", "0x17"});
    for (int round = 0; round < 10; ++round) {
        const fs::path table = s.Dir / ("shared-" + std::to_string(round) + ".dbf");
        Result ra, rb;
        auto run = [&](const std::string& port, Result& r) {
            r = RunProgram(CliPath(), {"--port", port, "download", "--file", table.string(), "--mode", "all",
                                       "--no-bookmark", "--json"});
        };
        std::thread ta([&] { run(a.Path(), ra); });
        std::thread tb([&] { run(b.Path(), rb); });
        ta.join();
        tb.join();
        ASSERT_EQ(ra.Status, 0) << ra.Err;
        ASSERT_EQ(rb.Status, 0) << rb.Err;
        const json ja = json::parse(ra.Out), jb = json::parse(rb.Out);
        const auto rows = Rows(table);
        const std::set<std::string> distinct(rows.begin(), rows.end());
        EXPECT_EQ(distinct.size(), rows.size()) << "round " << round;
        EXPECT_EQ(rows.size(), ja["records"].get<std::size_t>() + jb["records"].get<std::size_t>()) << "round " << round;
        EXPECT_EQ(ja["records_added"], ja["records"]);
        EXPECT_EQ(jb["records_added"], jb["records"]);
    }
}

// A link planted at each name the program writes leaves the link's target
// as it was, and the run says which name it refused.
TEST(SharedUse, PlantedSymbolicLinksAreNeverWrittenThrough) {
    Scratch s;
    const fs::path victim = s.Dir / "victim.txt";
    const fs::path dir = s.Dir / "data";
    fs::create_directories(dir);
    SimProcess sim({"--archive-size", "4096", "--samples", "100"});
    const std::string port = sim.Path();
    // A table to write into.
    const Result first = RunProgram(CliPath(), {"--port", port, "download", "--dir", dir.string(), "--json"});
    ASSERT_EQ(first.Status, 0) << first.Err;
    const fs::path table = json::parse(first.Out)["files"][0]["path"].get<std::string>();
    const fs::path par = fs::path(table).replace_extension(".par");

    struct Case {
        const char* what;
        std::function<fs::path()> plant;  // plants the link, returns its path
        std::vector<std::string> args;
        int status;  // -1: any failure
    };
    const std::vector<Case> cases = {
        {"parameter file", [&] { return par; }, {"--port", port, "download", "--dir", dir.string(), "--mode", "all"}, 1},
        {"table", [&] { return table; }, {"--port", port, "download", "--dir", dir.string(), "--mode", "all"}, 1},
        {"log", [&] { return dir / "runs.log"; },
         {"--port", port, "download", "--dir", dir.string(), "--log", (dir / "runs.log").string()}, 0},
        {"backup", [&] { return fs::path(table).replace_extension(".dbfbak"); }, {"repair", table.string()}, -1},
        {"lock", [&] {
             // The lock file of the port, as a download leaves it behind.
             fs::path lock;
             for (const auto& e : fs::directory_iterator(s.Dir / "locks"))
                 if (e.path().filename().string().rfind("port-", 0) == 0) lock = e.path();
             return lock;
         },
         {"--port", port, "download", "--dir", dir.string()}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        { std::ofstream(victim, std::ios::trunc) << "precious"; }
        const fs::path link = c.plant();
        ASSERT_FALSE(link.empty());
        fs::path saved;
        if (fs::exists(fs::symlink_status(link))) {
            saved = link.string() + ".saved";
            fs::rename(link, saved);
        }
        fs::create_symlink(victim, link);
        std::vector<std::string> args = c.args;
        const Result r = RunProgram(CliPath(), args);
        if (c.status >= 0) EXPECT_EQ(r.Status, c.status) << r.Err;
        else EXPECT_NE(r.Status, 0) << r.Err;
        EXPECT_EQ(Text(victim), "precious");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_NE(r.Err.find(link.string()), std::string::npos) << r.Err;
        fs::remove(link);
        if (!saved.empty()) fs::rename(saved, link);
    }
}

TEST(SharedUse, TwoSpellingsOfOnePortShareOneLock) {
    Scratch s;
    SimProcess sim({"--pacing", "--archive-size", "4096", "--samples", "400", "--period", "1", "--unit", "hour"});
    const fs::path other = s.Dir / "by-id-link";
    fs::create_symlink(sim.Path(), other);
    Result holder;
    std::atomic<bool> ended{false};
    std::thread t([&] {
        holder = RunProgram(CliPath(), {"--port", sim.Path(), "download", "--dir", s.Dir.string(), "--no-bookmark"});
        ended = true;
    });
    // The second run starts once the first holds the port's lock.
    EXPECT_TRUE(WaitUntil([&] { return PortLockHeld((s.Dir / "locks").string()); }, &ended))
        << "the first download never held the port's lock";
    const Result second = RunProgram(CliPath(), {"--port", other.string(), "download", "--dir", s.Dir.string(),
                                                 "--no-bookmark", "--lock-wait", "0"});
    t.join();
    EXPECT_EQ(holder.Status, 0) << holder.Err;
    EXPECT_EQ(second.Status, 3) << second.Err;
    EXPECT_NE(second.Err.find("kolvex12-cli (PID "), std::string::npos) << second.Err;
    // The lock file is the owner's alone.
    for (const auto& e : fs::directory_iterator(s.Dir / "locks")) {
        struct stat st {};
        ASSERT_EQ(::lstat(e.path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0600u) << e.path();
    }
}

TEST(SharedUse, ConfigurationNamingTheSimulatorIsNoPort) {
    Scratch s;
    std::vector<char> cfg(344, 0);
    cfg[30] = 3;
    cfg[31] = 'S', cfg[32] = 'I', cfg[33] = 'M';
    cfg[36] = 20, cfg[38] = 100;
    { std::ofstream(s.Dir / "kolvex12.cfg", std::ios::binary).write(cfg.data(), static_cast<std::streamsize>(cfg.size())); }
    const fs::path out = s.Dir / "tables";
    fs::create_directories(out);
    const Result r = RunProgram(CliPath(), {"download", "--dir", out.string()}, 20000, s.Dir.string());
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("simulated logger"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("--port"), std::string::npos) << r.Err;
    EXPECT_TRUE(fs::is_empty(out));
}

// Every run that does not end well says why: on stderr, in the JSON and in
// the log line; a signal ends the download after the current step with its
// own log line and status 128 + signal.
TEST(SharedUse, EveryFailedOrStoppedRunSaysWhy) {
    Scratch s;
    const std::string log = (s.Dir / "runs.log").string();
    {
        // The logger stops answering in the middle of the archive.
        SimProcess sim({"--archive-size", "4096", "--samples", "400", "--fault", "no-reply",
                        "--frames", "12,13,14,15,16,17,18,19,20"});
        const Result r = RunProgram(CliPath(), {"--port", sim.Path(), "download", "--dir", s.Dir.string(), "--retries",
                                                "0", "--json", "--log", log, "--no-bookmark"});
        EXPECT_EQ(r.Status, 1);
        const json j = json::parse(r.Out);
        EXPECT_TRUE(j["aborted"].get<bool>());
        ASSERT_TRUE(j.contains("error")) << r.Out;
        EXPECT_FALSE(j["error"].get<std::string>().empty());
        EXPECT_NE(r.Err.find(j["error"].get<std::string>()), std::string::npos) << r.Err;
    }
    {
        SimProcess sim({"--pacing", "--archive-size", "4096", "--samples", "400", "--period", "1", "--unit", "hour"});
        const Result r = RunProgram(CliPath(), {"--port", sim.Path(), "download", "--dir", s.Dir.string(), "--log",
                                                log, "--no-bookmark"},
                                    1500);  // SIGINT after 1.5 s
        EXPECT_EQ(r.Status, 128 + SIGINT) << r.Err;
    }
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\taborted: "), std::string::npos) << lines[0];
    EXPECT_GT(lines[0].size(), lines[0].find("\taborted: ") + 12) << "a reason follows";
    EXPECT_NE(lines[1].find("\taborted: signal SIGINT"), std::string::npos) << lines[1];
}
