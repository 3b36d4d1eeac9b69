// SPDX-License-Identifier: GPL-3.0-or-later
// The whole download against the simulated logger: the right records in the
// right tables (checked with an independent dBASE reader), the bookmark, and
// nothing lost or repeated when replies fail, when the user aborts, or when a
// target cannot be written.

#include <gtest/gtest.h>

#include <fstream>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

#include <nlohmann/json.hpp>

#include "base/ConfigRecord.h"
#include "base/Errors.h"
#include "archive/Adm.h"
#include "archive/Download.h"
#include "link/CommSettings.h"
#include "logger/LoggerOps.h"
#include "link/SerCom.h"
#include "base/DateTime.h"
#include "sim/Simulator.h"

using namespace kolvex;
namespace fs = std::filesystem;

namespace {

class TestUi : public DownloadUi {
public:
    std::vector<std::string> Messages, Questions;
    bool Answer = true;
    int RetriesLeft = 1000;
    int AbortAfterSteps = -1;  // abort at the first error after this many steps
    int Steps = 0;
    std::optional<std::string> Chosen;

    void Message(const std::string& t) override { Messages.push_back(t); }
    void EditStoringOptions(StoringOptions& o) override { o.SplitFlags = EditTo; }
    bool Confirm(const std::string& q) override {
        Questions.push_back(q);
        return Answer;
    }
    std::optional<std::string> ChooseTargetFile(const std::string&) override { return Chosen; }
    StepFailure CommError(const std::string&) override {
        if (RetriesLeft-- > 0) return StepFailure::Retry;
        return StepFailure::Abort;
    }
    void ProgressStart(const std::string&) override {}
    void Progress(int) override { ++Steps; }
    void ProgressEnd() override {}
    void Information(const std::string& t) override { Messages.push_back(t); }
    bool ConfirmCreateFolder(const std::string& dir) override {
        Folders.push_back(dir);
        return Answer;
    }
    std::int32_t EditTo = 0;
    std::vector<std::string> Folders;  // the folders the create question named
};

std::vector<nlohmann::json> ReadWithDbfread(const fs::path& table) {
    const std::string cmd = "/usr/bin/python3 " + std::string(KOLVEX_TEST_SOURCE_DIR) +
                            "/download/py_dbf_dump.py '" + table.string() + "'";
    FILE* p = popen(cmd.c_str(), "r");
    std::vector<nlohmann::json> rows;
    char line[4096];
    while (fgets(line, sizeof line, p)) rows.push_back(nlohmann::json::parse(line));
    EXPECT_EQ(pclose(p), 0) << cmd;
    return rows;
}

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(1);
        dir_ = fs::temp_directory_path() /
               ("kolvex-dl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        config_.LastArchivePath = (dir_ / "00000000.dbf").string();
        config_.NameSource = 1;
        config_.SplitFlags = 1;
        config_.ReadMode = 0;
        config_.InsertBookmark = 1;
    }
    void TearDown() override {
        adm_.CloseArchive();
        port_.Close();
        if (sim_) sim_->Stop();
        fs::remove_all(dir_);
    }
    void Start(std::uint32_t samples, int type = 4) {
        sim::SimOptions o;
        o.LoggerType = type;
        o.Samples = samples;
        sim_ = std::make_unique<sim::Simulator>(o);
        OpenPortDirect(port_, sim_->Start(), 1, 100);
    }
    DownloadResult Run() { return ReadArchive(ops_, adm_, config_, ui_); }
    std::uint64_t TotalAdded(const DownloadResult& r) {
        std::uint64_t n = 0;
        for (const auto& f : r.Files) n += f.RecordsAdded;
        return n;
    }
    // All time stamps of the year files, via dbfread.
    std::vector<std::string> StoredTimes() {
        std::vector<std::string> t;
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().extension() == ".dbf")
                for (const auto& row : ReadWithDbfread(e.path())) t.push_back(row["DATETIME"]);
        std::sort(t.begin(), t.end());
        return t;
    }

    fs::path dir_;
    std::unique_ptr<sim::Simulator> sim_;
    TSerCom port_;
    LoggerData data_;
    LoggerOps ops_{port_, data_};
    FixedAnswerer answers_{false};
    TADM adm_{&answers_};
    ConfigRecord config_;
    TestUi ui_;
};

}  // namespace

TEST_F(Download, FromTheBookmarkThenNothingNew) {
    Start(250);
    const std::int32_t write = sim_->ArchiveWrite();
    const DownloadResult r = Run();
    ASSERT_TRUE(r.Started);
    ASSERT_EQ(r.Files.size(), 1u);
    EXPECT_GE(r.Records, 250u);
    EXPECT_EQ(TotalAdded(r), r.Records);
    ASSERT_TRUE(r.Bookmark);
    EXPECT_GE(*r.Bookmark, write);
    EXPECT_EQ(sim_->ArchiveRead(), *r.Bookmark);
    ASSERT_EQ(ui_.Questions.size(), 1u);
    EXPECT_NE(ui_.Questions[0].find("Save data to file\r\n" + (dir_ / "00084321.dbf").string() + "  ?"),
              std::string::npos);
    EXPECT_NE(ui_.Questions[0].find("Storage in years"), std::string::npos);

    // The independent reader sees the same records, ten seconds apart.
    const auto rows = ReadWithDbfread(r.Files[0].Path);
    ASSERT_EQ(rows.size(), r.Records);
    EXPECT_TRUE(rows[0].contains("VSTUP1"));
    EXPECT_TRUE(rows[0].contains("VSTUP2"));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::string a = rows[i - 1]["DATETIME"], b = rows[i]["DATETIME"];
        EXPECT_LT(a, b);
    }
    EXPECT_TRUE(fs::exists(dir_ / "00084321.par") || fs::exists(fs::path(r.Files[0].Path).replace_extension(".par")));

    // A second download adds nothing (unless the logger archived meanwhile).
    const std::uint64_t before = rows.size();
    const DownloadResult r2 = Run();
    EXPECT_LE(r2.Records, 1u);
    EXPECT_EQ(ReadWithDbfread(r.Files[0].Path).size(), before + r2.Records);
    // No temporary table is left behind.
    EXPECT_FALSE(fs::exists(dir_ / "00084321"));

    // A user's file named like the base path without extension stays as it
    // is, and reading the whole archive again stores nothing twice.
    std::ofstream(dir_ / "00084321") << "mine";
    config_.ReadMode = 1;
    const DownloadResult r3 = Run();
    EXPECT_LE(r3.RecordsAdded(), 1u);
    EXPECT_GE(r3.AlreadyStored(), before);
    EXPECT_EQ(ReadWithDbfread(r.Files[0].Path).size(), before + r2.Records + r3.RecordsAdded());
    std::ifstream in(dir_ / "00084321");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 3) << "the table, its parameters, the user's file";
}

TEST_F(Download, EveryRecordGoesIntoEachSplitFile) {
    Start(120);
    config_.SplitFlags = 2 | 4;  // month and week
    const DownloadResult r = Run();
    ASSERT_GE(r.Files.size(), 2u);
    std::uint64_t month = 0, week = 0;
    for (const auto& f : r.Files) (f.Path.find("-w") != std::string::npos ? week : month) += f.RecordsAdded;
    EXPECT_EQ(month, r.Records);
    EXPECT_EQ(week, r.Records);
    EXPECT_NE(ui_.Questions.at(0).find("Storage in months\r\nStorage in weeks"), std::string::npos);
}

TEST_F(Download, NoSplitPeriodAsksForOneThenStops) {
    Start(10);
    config_.SplitFlags = 0;
    ui_.EditTo = 0;
    const DownloadResult r = Run();
    EXPECT_FALSE(r.Started);
    ASSERT_EQ(ui_.Messages.size(), 2u);
    EXPECT_EQ(ui_.Messages[1], "No file selected to save");
    EXPECT_EQ(sim_->ArchiveRead(), 0) << "the bookmark must not move";
    // Choosing a period in the dialog lets the download go on.
    ui_.Messages.clear();
    ui_.EditTo = 8;
    const DownloadResult r2 = Run();
    EXPECT_TRUE(r2.Started);
    EXPECT_EQ(config_.SplitFlags, 8);
}

TEST_F(Download, DroppedAndCorruptedRepliesStoreEverythingOnce) {
    Start(300);
    // Corrupt every fourth reply of the range (the logger data before it are
    // read without faults: an error there ends the download by design).
    sim::FaultRule f;
    f.Kind = sim::FaultKind::BadFcs;
    for (int frame = 16; frame < 400; frame += 4) f.Frames.push_back(frame);
    sim_->SetFault(f);
    const DownloadResult r = Run();
    sim_->ClearFault();
    EXPECT_FALSE(r.Aborted);
    const auto times = StoredTimes();
    EXPECT_GE(times.size(), 300u);
    EXPECT_EQ(std::set<std::string>(times.begin(), times.end()).size(), times.size()) << "duplicates";
}

TEST_F(Download, AbortStoresAPrefixAndTheNextDownloadTheRest) {
    Start(1000);
    sim::FaultRule f;
    f.Kind = sim::FaultKind::NoReply;
    f.Frames = {22, 23, 24};  // all attempts of a frame in the middle of the range
    sim_->SetFault(f);
    ui_.RetriesLeft = 0;  // abort at once
    const DownloadResult r = Run();
    sim_->ClearFault();
    ASSERT_TRUE(r.Aborted);
    ASSERT_TRUE(r.Bookmark);
    EXPECT_LT(*r.Bookmark, sim_->ArchiveWrite());
    EXPECT_GT(r.Records, 0u);
    const std::uint64_t first = r.Records;

    const DownloadResult r2 = Run();
    EXPECT_FALSE(r2.Aborted);
    const auto times = StoredTimes();
    EXPECT_EQ(times.size(), first + r2.Records);
    EXPECT_GE(times.size(), 1000u);
    EXPECT_EQ(std::set<std::string>(times.begin(), times.end()).size(), times.size()) << "duplicates";
}

TEST_F(Download, UnwritableTargetLeavesTheBookmark) {
    Start(50);
    // A directory where the year table should be: the table cannot be created.
    const double now = NowLocal();
    const int year = DecodeDateTime(now).Year;
    fs::create_directories(dir_ / ("00084321-" + std::to_string(year) + ".dbf"));
    fs::create_directories(dir_ / ("00084321-" + std::to_string(year - 1) + ".dbf"));
    try {
        Run();
        FAIL() << "the download should fail";
    } catch (const EKolvex& e) {
        EXPECT_NE(std::string(e.what()).find("00084321-"), std::string::npos) << e.what();
    }
    EXPECT_EQ(sim_->ArchiveRead(), 0);
}

TEST_F(Download, HostileLoggerFileNamesStayInTheFolder) {
    Start(20);
    config_.NameSource = 0;
    for (const std::string name : {"../x", "a/b", " .. ", "\x01\x02"}) {
        ops_.ReadLoggerType();
        ops_.ReadParameterBlock();
        ParameterBlock pb = data_.Image.Parameters;
        pb.SetFile(name);
        ops_.WriteArchiveControl(pb);
        ops_.WriteParameterBlock(pb);
        ops_.WriteArchiveReadPointer(0);
        const DownloadResult r = Run();
        for (const auto& f : r.Files)
            EXPECT_EQ(fs::path(f.Path).parent_path(), dir_) << name << " -> " << f.Path;
    }
    EXPECT_EQ(SafeLoggerFileName("../x"), ".._x");
    EXPECT_EQ(SafeLoggerFileName(" .. "), "");
    EXPECT_EQ(SafeLoggerFileName("ok"), "ok");
}

TEST_F(Download, UserChosenFileAndNothingToRead) {
    Start(30);
    ops_.ReadLoggerType();
    ops_.EmptyArchive();
    config_.NameSource = 2;
    ui_.Chosen = (dir_ / "mine.dbf").string();
    const DownloadResult r = Run();
    EXPECT_TRUE(ui_.Questions.empty()) << "a chosen file is not confirmed";
    EXPECT_LE(r.Records, 1u);
    EXPECT_TRUE(fs::exists(dir_ / "mine.dbf")) << "the chosen file is created even when empty";
    EXPECT_EQ(r.ShownPath, (dir_ / "mine.dbf").string());
    // Cancelling the file dialog stops the download.
    ui_.Chosen.reset();
    EXPECT_FALSE(Run().Started);
}

// A table filled out of time order (a logger read later with older records
// lands after newer ones): a record is recognised wherever it lies, and
// records that share a time stamp but differ in value are both kept.
TEST_F(Download, OutOfOrderHistoryStoresNothingTwice) {
    config_.NameSource = 2;
    ui_.Chosen = (dir_ / "history.dbf").string();
    config_.ReadMode = 1;
    config_.InsertBookmark = 0;
    // Two loggers, both kept running; the port is switched between them.
    auto make = [](int unit, std::uint32_t samples) {
        sim::SimOptions o;
        o.Samples = samples;
        o.PeriodUnit = unit;
        o.ArchiveSize = 4096;
        return std::make_unique<sim::Simulator>(o);
    };
    const auto newerSim = make(3, 150);  // ten minutes apart up to now
    const auto olderSim = make(4, 120);  // ten hours apart
    const std::string newerPath = newerSim->Start(), olderPath = olderSim->Start();
    auto use = [&](const std::string& path) {
        port_.Close();
        OpenPortDirect(port_, path, 1, 100);
    };
    auto again = [&] {
        const DownloadResult r = Run();
        EXPECT_EQ(r.RecordsAdded(), 0u);
        EXPECT_EQ(r.AlreadyStored(), r.Records);
        return r.Records;
    };

    use(newerPath);
    const DownloadResult newer = Run();
    ASSERT_GE(newer.RecordsAdded(), 150u);
    EXPECT_EQ(again(), newer.Records);

    // The older history, read later, lands after the newer records; the
    // newer logger read in "all" mode once more then adds nothing, although
    // its records are no longer at the end of the table.
    use(olderPath);
    const DownloadResult older = Run();
    EXPECT_GE(older.Records, 120u);
    use(newerPath);
    EXPECT_EQ(again(), newer.Records);
    port_.Close();
    newerSim->Stop();
    olderSim->Stop();

    const auto rows = ReadWithDbfread(*ui_.Chosen);
    EXPECT_EQ(rows.size(), newer.RecordsAdded() + older.RecordsAdded());
    std::set<std::string> distinct;
    for (const auto& row : rows) distinct.insert(row.dump());
    EXPECT_EQ(distinct.size(), rows.size());
}

// Whichever way the target was named (stored folder, serial number or a file
// typed into the dialog), a missing folder gets the create question; No
// ends the download naming the folder, Yes creates it.
TEST_F(Download, MissingFolderAsksWhicheverWayTheFileWasNamed) {
    const struct {
        int NameSource;
        bool StoredFolderMissing;
    } cases[] = {{0, true}, {1, true}, {2, false}};
    LoggerImage image;
    for (const auto& c : cases) {
        for (const bool yes : {false, true}) {
            const fs::path missing = dir_ / ("new-" + std::to_string(c.NameSource) + (yes ? "y" : "n")) / "sub";
            config_.NameSource = c.NameSource;
            config_.LastArchivePath = ((c.StoredFolderMissing ? missing : dir_) / "00000000.dbf").string();
            ui_.Chosen = (missing / "mine.dbf").string();
            ui_.Folders.clear();
            ui_.Answer = yes;
            std::string error;
            try {
                TargetFileName(config_, image, &ui_);
            } catch (const EADM& e) {
                error = e.what();
            }
            ASSERT_EQ(ui_.Folders.size(), 1u) << c.NameSource;
            EXPECT_EQ(ui_.Folders[0], missing.string());
            EXPECT_EQ(fs::is_directory(missing), yes) << c.NameSource;
            EXPECT_EQ(error.find(missing.string()) != std::string::npos, !yes) << error;
        }
    }
}
