// SPDX-License-Identifier: GPL-3.0-or-later
// The working folder of a start from the application menu.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/Errors.h"
#include "app/WorkFolder.h"

namespace kolvex {
namespace {

namespace fs = std::filesystem;

TEST(WorkFolder, DataFolderFromEnvironment) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/data/u", "/home/u", "/data/u/kolvex12"},
        {"/data/u/", "/home/u", "/data/u/kolvex12"},
        {nullptr, "/home/u", "/home/u/.local/share/kolvex12"},
        {"", "/home/u/", "/home/u/.local/share/kolvex12"},
        {"rel/dir", "/home/u", "/home/u/.local/share/kolvex12"},  // relative: ignored
        {"/", nullptr, "/kolvex12"},
        {nullptr, "relative", ""},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UserDataFolder(c.xdg, c.home), c.expected)
            << (c.xdg ? c.xdg : "(null)") << " " << (c.home ? c.home : "(null)");
}

class WorkFolderEnter : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kolvex-wf-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        before_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(before_);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path root_, before_;
};

TEST_F(WorkFolderEnter, CreatesMissingLevelsPrivateAndEntersThem) {
    const fs::path folder = root_ / "share" / "deep" / "kolvex12";
    EnterFolder(folder.string());
    EXPECT_EQ(fs::current_path(), folder);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A second start finds it and keeps what is there.
    std::ofstream(folder / "kolvex12.cfg") << "x";
    fs::current_path(root_);
    EnterFolder(folder.string());
    EXPECT_TRUE(fs::exists("kolvex12.cfg"));
}

TEST_F(WorkFolderEnter, FailureNamesTheFolderAndTheReason) {
    std::ofstream(root_ / "share") << "a file in the way";
    const std::string folder = (root_ / "share" / "kolvex12").string();
    try {
        EnterFolder(folder);
        FAIL() << "no error";
    } catch (const EKolvex& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find(folder), std::string::npos) << m;
        EXPECT_NE(m.find("Not a directory"), std::string::npos) << m;
    }
    EXPECT_EQ(fs::current_path(), before_);
    EXPECT_THROW(EnterFolder(""), EKolvex);
}

}  // namespace
}  // namespace kolvex
