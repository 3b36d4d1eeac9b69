// SPDX-License-Identifier: GPL-3.0-or-later
// Writes nobody can redirect and one writer per table: rewrites keep the
// file's mode, a link at a written name is refused, temporary names fit the
// name limit and cannot be guessed, and a table's lock is shared by every
// spelling of its path.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <future>
#include <thread>

#include "ArchiveTestUtil.h"
#include "archive/FileOps.h"
#include "archive/Table.h"
#include "archive/TableLock.h"
#include "archive/dbf/DbfTable.h"
#include "base/LockFile.h"
#include "base/Errors.h"
#include "base/SafeFile.h"

using namespace kolvex;
using kolvex::test::TempDir;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

void AddRecord(Table& t, double when) {
    t.Append();
    t.SetDateTime(0, when);
    t.SetFloat(1, 1.5);
    t.Post();
}

}  // namespace

TEST(WriteSafety, RewritesKeepTheModeAndNeverGoThroughALink) {
    TempDir dir;
    for (const mode_t mode : {0600, 0640, 0604}) {
        SCOPED_TRACE(mode);
        const std::string par = dir / "m.par";
        const std::uint8_t data[3] = {1, 2, 3};
        ASSERT_TRUE(WriteFileAtomic(par, data, 3));
        ASSERT_EQ(::chmod(par.c_str(), mode), 0);
        ASSERT_TRUE(WriteFileAtomic(par, data, 2));
        EXPECT_EQ(ModeOf(par), mode);

        // A table packed (dBASE) or rewritten (Paradox) through a temporary file.
        for (const char* name : {"t.dbf", "t.db"}) {
            Table t;
            t.SetPath(dir / name);
            t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}});
            ASSERT_EQ(::chmod(t.Path().c_str(), mode), 0);
            AddRecord(t, 40000);
            AddRecord(t, 40001);
            t.First();
            t.Delete();
            t.Pack();
            t.Close();
            EXPECT_EQ(ModeOf(dir / name), mode) << name;
        }
    }

    // A link at the name: refused, its target unchanged, the link kept.
    const std::string victim = dir / "victim", link = dir / "l.par";
    test::WriteBytes(victim, {7, 7});
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    const std::uint8_t data[1] = {9};
    errno = 0;
    EXPECT_FALSE(WriteFileAtomic(link, data, 1));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(test::ReadBytes(victim), (std::vector<std::uint8_t>{7, 7}));
    EXPECT_TRUE(IsSymbolicLink(link));
    EXPECT_NE(FileErrorText(ELOOP).find("symbolic link"), std::string::npos);
}

TEST(WriteSafety, TemporaryNamesFitTheLimitAndCannotBeGuessed) {
    TempDir dir;
    // A legal 253-byte table name (249 characters and ".dbf").
    const std::string table = dir / (std::string(249, 'a') + ".dbf");
    const std::string a = TemporaryNameFor(table), b = TemporaryNameFor(table);
    EXPECT_NE(a, b);
    for (const std::string& t : {a, b}) {
        EXPECT_LE(ExtractFileName(t).size(), kMaxFileName) << t;
        EXPECT_EQ(ExtractFileDir(t), dir.Path);
        EXPECT_NE(t.find(".dbf.tmp~" + std::to_string(::getpid()) + "-"), std::string::npos) << t;
    }
    // The long name itself is written and rewritten.
    const std::uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_TRUE(WriteFileAtomic(table, data, 4));
    EXPECT_TRUE(WriteFileAtomic(table, data, 3));
    EXPECT_EQ(test::ReadBytes(table).size(), 3u);
    // Short names keep their whole name.
    EXPECT_EQ(ExtractFileName(TemporaryNameFor(dir / "x.par")).rfind("x.par.tmp~", 0), 0u);
}

TEST(WriteSafety, OneWriterPerTableWhateverThePathsSpelling) {
    TempDir dir;
    const std::string locks = dir / "locks";
    ASSERT_EQ(::mkdir(locks.c_str(), 0700), 0);
    setenv("KOLVEX_LOCK_DIR", locks.c_str(), 1);
    ASSERT_EQ(::mkdir((dir / "data").c_str(), 0700), 0);
    ASSERT_EQ(::symlink((dir / "data").c_str(), (dir / "alias").c_str()), 0);
    SetTableLockWait(0);

    // Another thread of this process holds the table.
    std::promise<void> taken, release;
    std::thread holder([&] {
        const TableLocks lock = LockTable(dir / "data/t.dbf");
        taken.set_value();
        release.get_future().wait();
    });
    taken.get_future().wait();
    for (const std::string& spelling : {dir / "data/t.dbf", dir / "alias/t.dbf", dir / "data/./t.dbf"}) {
        SCOPED_TRACE(spelling);
        try {
            LockTable(spelling);
            ADD_FAILURE() << "locked twice";
        } catch (const ETableBusy& e) {
            EXPECT_NE(std::string(e.what()).find("(PID " + std::to_string(::getpid()) + ")"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_NO_THROW(LockTable(dir / "data/other.dbf"));  // another table is free
    release.set_value();
    holder.join();

    // Free again, and re-entrant for the thread that holds it.
    {
        const TableLocks outer = LockTable(dir / "alias/t.dbf");
        EXPECT_NO_THROW(LockTable(dir / "data/t.dbf"));
    }
    // The lock files are ours alone; a port's every spelling has one name.
    for (const auto& e : std::filesystem::directory_iterator(locks)) EXPECT_EQ(ModeOf(e.path()), 0600u);
    ASSERT_EQ(::symlink("/dev/null", (dir / "by-id").c_str()), 0);
    EXPECT_EQ(LockNameForDevice(dir / "by-id"), LockNameForDevice("/dev/null"));
    EXPECT_NE(LockNameForDevice("/dev/zero"), LockNameForDevice("/dev/null"));
    SetTableLockWait(30);
    unsetenv("KOLVEX_LOCK_DIR");
}

// A legal table name of 249 characters: a table cut short is repaired (the
// temporary name is shortened, not the table's), the backup holds the
// original, and nothing else is left in the folder.
TEST(WriteSafety, LongTableNamesAreRepairedWithoutLeftovers) {
    TempDir dir;
    const std::string path = dir / (std::string(245, 'l') + ".dbf");
    const std::string backup = ReplaceExtension(path, ".dbfbak");
    {
        Table t;
        t.SetPath(path);
        t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}});
        for (int i = 0; i < 10; ++i) AddRecord(t, 40000 + i);
        t.Close();
    }
    auto image = test::ReadBytes(path);
    image.resize(image.size() - 30);  // the last records cut off
    test::WriteBytes(path, image);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const auto r = dbf::DbfTable::Repair(path, backup, false);
    EXPECT_TRUE(r.Changed);
    EXPECT_EQ(r.Kept, 8);
    EXPECT_EQ(test::ReadBytes(backup), image);
    EXPECT_EQ(ModeOf(path), 0640u);
    EXPECT_EQ(ModeOf(backup), 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 2);
}

// A repair that fails after it made its backup removes that backup again, so
// the next repair is not blocked by it (here the file-size limit lets the
// backup through but not the repaired table, one end mark longer).
TEST(WriteSafety, FailedRepairRemovesItsBackup) {
    TempDir dir;
    const std::string path = dir / "f.dbf", backup = dir / "f.dbfbak";
    {
        Table t;
        t.SetPath(path);
        t.Create({{FieldType::DateTime, "DATETIME"}, {FieldType::Float, "VSTUP1"}});
        for (int i = 0; i < 10; ++i) AddRecord(t, 40000 + i);
        t.Close();
    }
    // A stale count of 5 and no end mark: complete records after the count.
    auto image = test::ReadBytes(path);
    image.pop_back();
    image[4] = 5;
    test::WriteBytes(path, image);
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{image.size(), image.size()};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int status = 3;
        try {
            dbf::DbfTable::Repair(path, backup, false);
            status = 1;  // it should have failed
        } catch (const EADM&) {
            status = ::access(backup.c_str(), F_OK) == 0 ? 2 : 0;
        }
        ::_exit(status);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no failure, 2: the backup stayed";
    EXPECT_EQ(test::ReadBytes(path), image);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 1);
}
