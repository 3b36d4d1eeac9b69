// SPDX-License-Identifier: GPL-3.0-or-later
// Every file the program reads is refused at once, with a message naming it,
// when it is a named pipe: nothing waits for a writer that never comes.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/LiveRecording.h"
#include "app/SystemInfo.h"
#include "archive/Adm.h"
#include "archive/Table.h"
#include "archive/ViewerState.h"
#include "base/ConfigRecord.h"
#include "base/Errors.h"
#include "base/SafeFile.h"

namespace kolvex {
namespace {

namespace fs = std::filesystem;

struct Folder {
    std::string Path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "kolvex-pipes-XXXXXX").string();
        Path = ::mkdtemp(pattern.data());
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(Path, ec);
    }
    std::string operator/(const std::string& name) const { return Path + "/" + name; }
};

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const UniqueFd fd = CreateNewFile(path);
    ASSERT_TRUE(fd) << path;
    ASSERT_EQ(::write(fd.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// A dBASE III table with one memo field and one record pointing at block 1.
std::vector<std::uint8_t> MemoTable() {
    std::vector<std::uint8_t> b(32 + 32 + 1, 0);
    b[0] = 0x83;  // dBASE III with a memo file
    b[4] = 1;     // one record
    b[8] = 65;    // header length
    b[10] = 11;   // record length: the deleted flag and the memo's 10 characters
    const char name[] = "NOTE";
    std::copy(name, name + 4, b.begin() + 32);
    b[32 + 11] = 'M';
    b[32 + 16] = 10;
    b[64] = 0x0D;
    const char record[] = "          1";
    b.insert(b.end(), record, record + 11);
    b.push_back(0x1A);
    return b;
}

// What a reader made of its file: the refusal's text (empty when none).
std::string Refusal(const std::function<void(std::string&)>& read) {
    std::string why;
    try {
        read(why);
    } catch (const EKolvex& e) {
        why = e.what();
    }
    return why;
}

TEST(HostileFiles, NamedPipesInPlaceOfEveryReadFileAreRefusedAtOnce) {
    ::alarm(60);  // a reader that waits for a writer ends the test instead of hanging it
    Folder dir;
    ConfigRecord withDevice;
    withDevice.ComPort = "/dev/serial/by-id/usb-quendal";  // kept in the companion file
    ASSERT_TRUE(SaveConfigFile(dir / "dev.cfg", withDevice));
    WriteBytes(dir / "notes.dbf", MemoTable());
    {
        Table t;
        t.SetPath(dir / "table.dbf");
        t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}});
    }

    struct Row {
        const char* what;
        std::string pipe;
        std::function<void(std::string&)> read;
        bool named = true;  // the refusal names the file
    };
    const std::vector<Row> rows = {
        {"configuration", dir / "kolvex12.cfg",
         [&](std::string& why) {
             ConfigRecord r;
             EXPECT_FALSE(LoadConfigFile(dir / "kolvex12.cfg", r, &why));
         }},
        {"port file", dir / "dev.port",
         [&](std::string& why) {
             ConfigRecord r;
             EXPECT_TRUE(LoadConfigFile(dir / "dev.cfg", r, &why));
             EXPECT_EQ(r.ComPort, "DEV");
         }},
        {"memo file", dir / "notes.dbt",
         [&](std::string&) {
             Table t;
             t.SetPath(dir / "notes.dbf");
             t.Open();
         }},
        {"parameter file", dir / "table.par",
         [&](std::string&) {
             TADM adm;
             adm.OpenArchive(dir / "table.dbf");
         }},
        {"viewer state", dir / "kolvex12.view",
         [&](std::string& why) { EXPECT_FALSE(LoadViewerState(dir / "kolvex12.view", &why)); }},
        {"live settings", dir / "kolvex12-live.ini",
         [&](std::string& why) { EXPECT_EQ(LoadLiveSettings(dir / "kolvex12-live.ini", &why).RecordFile, ""); }},
        // Not the user's file: skipped without a message, but never waited on.
        {"system description", dir / "os-release",
         [&](std::string&) { EXPECT_EQ(QuerySystemInfo(dir / "os-release").OS, SystemInfo{}.OS); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove(row.pipe);
        ASSERT_EQ(::mkfifo(row.pipe.c_str(), 0600), 0);
        const std::string why = Refusal(row.read);
        if (row.named) {
            EXPECT_NE(why.find(row.pipe), std::string::npos) << why;
        }
        fs::remove(row.pipe);
    }
    ::alarm(0);
}

}  // namespace
}  // namespace kolvex
