// SPDX-License-Identifier: GPL-3.0-or-later
// Unattended runs that tell someone: a failed download reaches the event
// command and the mail interface exactly once, several loggers run through
// the template unit's command line, and every option of --help is in the
// manual page.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "Process.h"

using nlohmann::json;
using namespace kolvex::e2e;
namespace fs = std::filesystem;

namespace {

struct Scratch {
    fs::path Dir;
    std::string OldPath, OldHome;
    Scratch() {
        char tmpl[] = "/tmp/kolvex-alerts-XXXXXX";
        Dir = ::mkdtemp(tmpl);
        fs::create_directories(Dir / "locks");
        fs::permissions(Dir / "locks", fs::perms::owner_all);
        setenv("KOLVEX_LOCK_DIR", (Dir / "locks").c_str(), 1);
        OldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        OldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        // A fake sendmail first on PATH, and a hook, both writing what they got.
        fs::create_directories(Dir / "bin");
        Script(Dir / "bin/sendmail", "{ echo \"ARGS=$*\"; cat; echo END; } >> '" + (Dir / "mail.out").string() + "'");
        Script(Dir / "hook", "{ echo \"EVENT=$KOLVEX_EVENT LOGGER=$KOLVEX_LOGGER\"; echo \"SUMMARY=$KOLVEX_SUMMARY\"; cat; } >> '" +
                                 (Dir / "hook.out").string() + "'");
        setenv("PATH", ((Dir / "bin").string() + ":" + OldPath).c_str(), 1);
    }
    ~Scratch() {
        unsetenv("KOLVEX_LOCK_DIR");
        setenv("PATH", OldPath.c_str(), 1);
        setenv("HOME", OldHome.c_str(), 1);
        fs::remove_all(Dir);
    }
    static void Script(const fs::path& p, const std::string& body) {
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(p, fs::perms::owner_all);
    }
};

std::string Text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::vector<std::string> Lines(const fs::path& p) {
    std::ifstream in(p);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

// A download that fails tells it once through each channel; a good one tells
// nothing; a hook that fails is logged and leaves the download's status alone.
TEST(Alerts, FailedDownloadTellsOnceThroughCommandAndMail) {
    Scratch s;
    const std::string log = (s.Dir / "runs.log").string(), hook = (s.Dir / "hook").string();
    {
        SimProcess sim({"--archive-size", "4096", "--samples", "400", "--fault", "no-reply", "--frames",
                        "12,13,14,15,16,17,18,19,20"});
        setenv("INVOCATION_ID", "run-1", 1);  // as the service manager starts it
        const Result r = RunProgram(CliPath(), {"--port", sim.Path(), "download", "--dir", s.Dir.string(), "--retries",
                                                "0", "--log", log, "--on-event", hook, "--mail-to", "ops@example.com",
                                                "--no-bookmark"});
        unsetenv("INVOCATION_ID");
        EXPECT_EQ(r.Status, 1) << r.Err;
        // The failed unit's report adds nothing: the run has told it.
        setenv("MONITOR_INVOCATION_ID", "run-1", 1);
        setenv("MONITOR_SERVICE_RESULT", "exit-code", 1);
        const Result f = RunProgram(CliPath(), {"report-failure", "--log", log, "--on-event", hook, "--mail-to",
                                                "ops@example.com"});
        unsetenv("MONITOR_INVOCATION_ID");
        unsetenv("MONITOR_SERVICE_RESULT");
        EXPECT_EQ(f.Status, 0) << f.Err;
    }
    const std::string hookOut = Text(s.Dir / "hook.out"), mail = Text(s.Dir / "mail.out");
    EXPECT_EQ(Count(hookOut, "EVENT="), 1u) << hookOut;
    EXPECT_EQ(Count(mail, "ARGS="), 1u) << mail;
    EXPECT_NE(hookOut.find("EVENT=failure LOGGER=" + std::string("/")), std::string::npos) << hookOut;
    const std::string jsonLine = hookOut.substr(hookOut.find('{'));
    const json j = json::parse(jsonLine.substr(0, jsonLine.find('\n')));
    EXPECT_EQ(j["event"], "failure");
    EXPECT_FALSE(j["reason"].get<std::string>().empty());
    EXPECT_NE(hookOut.find("SUMMARY=" + j["summary"].get<std::string>()), std::string::npos);
    EXPECT_NE(mail.find("ARGS=-i -- ops@example.com"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Reason: " + j["reason"].get<std::string>()), std::string::npos) << mail;

    // A good download whose records cross the alarm limits (the simulated
    // temperature swings past both): one excursion event listing them, no
    // failure; a hook that fails: the download still succeeds.
    fs::remove(s.Dir / "hook.out");
    fs::remove(s.Dir / "mail.out");
    {
        SimProcess sim({"--archive-size", "4096", "--samples", "200"});
        const Result r = RunProgram(CliPath(), {"--port", sim.Path(), "--lang", "en", "download", "--dir",
                                                s.Dir.string(), "--log", log, "--on-event", hook, "--mail-to",
                                                "ops@example.com", "--no-bookmark"});
        EXPECT_EQ(r.Status, 0) << r.Err;
    }
    const std::string excursionHook = Text(s.Dir / "hook.out"), excursionMail = Text(s.Dir / "mail.out");
    EXPECT_EQ(Count(excursionHook, "EVENT="), 1u) << excursionHook;
    EXPECT_NE(excursionHook.find("EVENT=excursion"), std::string::npos) << excursionHook;
    const json ej = json::parse(excursionHook.substr(excursionHook.find('{')).substr(
        0, excursionHook.substr(excursionHook.find('{')).find('\n')));
    ASSERT_TRUE(ej["details"].is_array());
    EXPECT_FALSE(ej["details"].empty());
    EXPECT_NE(ej["details"][0].get<std::string>().find(" from "), std::string::npos) << ej.dump();
    EXPECT_EQ(Count(excursionMail, "ARGS="), 1u) << excursionMail;
    EXPECT_NE(excursionMail.find(ej["details"][0].get<std::string>()), std::string::npos) << excursionMail;
    {
        // The port is held by another run: a failure, told through a hook that fails.
        const Result r = RunProgram(CliPath(), {"--port", "/dev/kolvex-no-such-port", "download", "--dir",
                                                s.Dir.string(), "--log", log, "--on-event", "exit 7"});
        EXPECT_EQ(r.Status, 1) << r.Err;
        EXPECT_NE(r.Err.find("status 7"), std::string::npos) << r.Err;
    }
    const auto lines = Lines(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("\tok"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("\tchannel-error: "), std::string::npos) << lines[2];
}

// Two loggers, each through the template unit's own command line with its
// settings file: each table in the logger's own folder, each run logged there.
TEST(Alerts, TwoLoggersThroughTheTemplateUnit) {
    Scratch s;
    std::string exec;
    for (const auto& line : Lines(std::string(KOLVEX_SOURCE_DIR) + "/data/systemd/kolvex12-download@.service.in"))
        if (line.rfind("ExecStart=", 0) == 0) exec = line.substr(10);
    ASSERT_FALSE(exec.empty());
    setenv("HOME", s.Dir.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    fs::create_directories(s.Dir / ".config/kolvex12/loggers");
    SimProcess a({"--archive-size", "4096", "--samples", "30"}), b({"--archive-size", "4096", "--samples", "40"});
    for (const auto& [name, sim] : {std::pair<std::string, SimProcess*>{"cold-room", &a}, {"freezer", &b}}) {
        std::ofstream(s.Dir / ".config/kolvex12/loggers" / (name + ".conf"))
            << "# " << name << "\nKOLVEX_PORT=\"" << sim->Path() << "\"\nKOLVEX_SPLIT=year\nKOLVEX_DOWNLOAD_ARGS=--no-bookmark\n";
        std::istringstream words(std::regex_replace(std::regex_replace(exec, std::regex("%h"), s.Dir.string()),
                                                    std::regex("%i"), name));
        std::vector<std::string> args;
        std::string program;
        words >> program;
        EXPECT_EQ(program, "\"@KOLVEX_CLI@\"");
        for (std::string w; words >> w;) args.push_back(w);
        const Result r = RunProgram(CliPath(), args);
        EXPECT_EQ(r.Status, 0) << r.Err;
    }
    std::set<std::string> folders;
    for (const std::string name : {"cold-room", "freezer"}) {
        const fs::path folder = s.Dir / ".local/share/kolvex12/loggers" / name;
        int tables = 0;
        for (const auto& e : fs::directory_iterator(folder)) tables += e.path().extension() == ".dbf";
        EXPECT_GE(tables, 1) << folder;
        const auto log = Lines(folder / "download.log");
        ASSERT_EQ(log.size(), 1u) << folder;
        EXPECT_NE(log[0].find("\tok\tlogger=" + name), std::string::npos) << log[0];
    }
}

// Every option that --help names is in the manual page.
TEST(Alerts, HelpOptionsAreInTheManualPage) {
    const Result r = RunProgram(CliPath(), {"--help"});
    const std::string help = r.Out + r.Err;
    const std::string page = Text(std::string(KOLVEX_TEST_SOURCE_DIR) + "/../data/man/kolvex12-cli.1");
    ASSERT_FALSE(page.empty());
    const std::regex option("--[a-z][a-z-]*");
    int seen = 0;
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it, ++seen) {
        const std::string roff = std::regex_replace(it->str(), std::regex("-"), "\\-");
        EXPECT_NE(page.find(roff), std::string::npos) << it->str() << " is not in the manual page";
    }
    EXPECT_GT(seen, 20);
}
