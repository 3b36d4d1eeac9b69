// SPDX-License-Identifier: GPL-3.0-or-later
// Downloads that are killed, refused or pointed at a missing folder, with the
// real kolvex12-cli against quendal-sim: every archived record ends up stored
// exactly once and nothing but the tables is left behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "Process.h"

using nlohmann::json;
using namespace kolvex::e2e;
namespace fs = std::filesystem;

namespace {

struct Scratch {
    std::string Dir;
    Scratch() {
        char tmpl[] = "/tmp/kolvex-crash-XXXXXX";
        Dir = ::mkdtemp(tmpl);
    }
    ~Scratch() { fs::remove_all(Dir); }
};

// The records of every table in dir, one CSV line each, sorted.
std::vector<std::string> StoredRecords(const std::string& dir) {
    std::vector<std::string> lines;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() != ".dbf") continue;
        const Result r = RunProgram(CliPath(), {"dump", e.path().string()});
        EXPECT_EQ(r.Status, 0) << r.Err;
        std::istringstream in(r.Out);
        std::string line;
        std::getline(in, line);  // field names
        while (std::getline(in, line)) lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Starts the CLI and kills it after delayMs (it may have ended by then).
void KillAfter(const std::vector<std::string>& args, int delayMs) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        const std::string program = CliPath();
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

}  // namespace

TEST(CrashSafety, KilledDownloadsStoreEveryRecordExactlyOnce) {
    // No new samples while the test runs: the archive is fixed.
    SimProcess sim({"--samples", "400", "--period", "24", "--unit", "hour", "--archive-size", "4096"});
    Scratch ref, dir;

    // The simulator's archive, read without touching the bookmark.
    const auto t0 = std::chrono::steady_clock::now();
    const Result whole = RunProgram(CliPath(), {"--port", sim.Path(), "download", "--no-bookmark", "--file",
                                                ref.Dir + "/all.dbf", "--json"});
    const int runMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
    ASSERT_EQ(whole.Status, 0) << whole.Err;
    const std::vector<std::string> expected = StoredRecords(ref.Dir);
    ASSERT_GE(expected.size(), 400u);

    // A dozen kills spread over a whole run, the last ones around the
    // bookmark write at its end; "all" mode too, which rereads everything.
    const std::vector<std::string> args = {"--port", sim.Path(), "download", "--dir", dir.Dir, "--split", "month,year"};
    for (int i = 0; i < 12; ++i) {
        std::vector<std::string> a = args;
        if (i % 4 == 3) a.insert(a.end(), {"--mode", "all"});
        KillAfter(a, runMs * (i + 1) / 12);
    }
    const Result last = RunProgram(CliPath(), [&] {
        auto a = args;
        a.push_back("--json");
        return a;
    }());
    ASSERT_EQ(last.Status, 0) << last.Err;

    // Each record once in the month tables and once in the year tables.
    std::vector<std::string> twice;
    for (const auto& l : expected) twice.insert(twice.end(), {l, l});
    EXPECT_EQ(StoredRecords(dir.Dir), twice);

    // Reading everything again adds nothing.
    const Result again = RunProgram(CliPath(), [&] {
        auto a = args;
        a.insert(a.end(), {"--mode", "all", "--json"});
        return a;
    }());
    ASSERT_EQ(again.Status, 0) << again.Err;
    const json j = json::parse(again.Out);
    EXPECT_EQ(j["records_added"].get<int>(), 0);
    EXPECT_EQ(j["already_stored"].get<std::size_t>(), twice.size());
    EXPECT_EQ(StoredRecords(dir.Dir), twice);

    // Only tables and their parameter files are left.
    for (const auto& e : fs::directory_iterator(dir.Dir)) {
        const auto ext = e.path().extension();
        EXPECT_TRUE(ext == ".dbf" || ext == ".par") << e.path();
    }
}

TEST(CrashSafety, RefusedBookmarkAndMissingFolderAreFailuresThatLoseNothing) {
    SimProcess sim({"--samples", "150", "--period", "99", "--unit", "hour", "--refuse", "0x89"});
    Scratch dir;
    const std::vector<std::string> args = {"--port", sim.Path(), "--lang", "en", "download", "--file",
                                           dir.Dir + "/t.dbf", "--retries", "0", "--json"};
    const Result first = RunProgram(CliPath(), args);
    EXPECT_EQ(first.Status, 1);
    const json a = json::parse(first.Out);
    EXPECT_GE(a["records_added"].get<int>(), 150);
    EXPECT_TRUE(a["bookmark"].is_null());
    EXPECT_NE(a["bookmark_error"].get<std::string>().find("will not store them twice"), std::string::npos);

    // The logger still holds them; the retry finds them all stored.
    const json b = json::parse(RunProgram(CliPath(), args).Out);
    EXPECT_EQ(b["records_added"].get<int>(), 0);
    EXPECT_EQ(b["already_stored"], a["records_added"]);

    // A folder that does not exist: an error naming it, before the logger is asked.
    const Result missing =
        RunProgram(CliPath(), {"--port", sim.Path(), "--lang", "en", "download", "--dir", dir.Dir + "/stick/archiv"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find(dir.Dir + "/stick/archiv  does not exist"), std::string::npos) << missing.Err;
    EXPECT_FALSE(fs::exists(dir.Dir + "/stick"));
}
