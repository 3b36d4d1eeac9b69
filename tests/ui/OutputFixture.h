// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A program context with an archive table written by the storage engine in a
// scratch folder, for the tests of the output dialogs; and small helpers to
// run programs and find dialog controls.

#include <QtTest>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "base/Language.h"
#include "archive/ParameterFile.h"
#include "base/DateTime.h"

namespace kolvex::test {

inline double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return *TryEncodeDateTime(y, mo, d, h, mi, s, ms);
}

struct OutputTable {
    std::filesystem::path Dir;
    std::string Path;
    AppContext ctx;

    // A table of both inputs ("Teplota" in °C, "Vlhkost" in "% r.v.") or of
    // input 1 only, serial number 00012345, file 00012345.dbf.
    explicit OutputTable(bool bothInputs = true, const std::string& name = "00012345.dbf") {
        char tmpl[] = "/tmp/kolvex-outui-XXXXXX";
        Dir = ::mkdtemp(tmpl);
        Path = (Dir / name).string();
        LoggerImage im;
        im.SerialNumber = 12345;
        im.Parameters.ArchiveFlags = bothInputs ? 3 : 1;
        im.Parameters.Input[0].SetName("Teplota");
        im.Parameters.Input[0].SetUnit("°C");
        im.Parameters.Input[1].SetName("Vlhkost");
        im.Parameters.Input[1].SetUnit("% rv");
        ArchiveParameterRecord r = BuildParameterRecord(im, CurrentLanguage());
        if (bothInputs) {
            FieldDescriptor d = r.Descriptor(2);
            d.Unit = "% r.v.";
            r.SetDescriptor(2, d);
        }
        ctx.Adm.CreateArchive(Path, r);
    }
    ~OutputTable() {
        try {
            ctx.Adm.CloseArchive();
        } catch (...) {
        }
        // KOLVEX_KEEP leaves the scratch folder for a look at what was written.
        if (qEnvironmentVariableIsSet("KOLVEX_KEEP")) return;
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }

    // Appends records: the n-th record of the table has VSTUP1 = 20 + n / 10
    // and VSTUP2 = 50 + n.
    void Add(const std::vector<double>& stamps) {
        Table& t = ctx.Adm.Table1;
        const int first = static_cast<int>(t.RecordCount());
        for (std::size_t i = 0; i < stamps.size(); ++i) {
            const int n = first + static_cast<int>(i);
            t.Append();
            t.SetDateTime(0, stamps[i]);
            t.SetFloat(1, 20 + n / 10.0);
            if (t.FieldCount() > 2) t.SetFloat(2, 50 + n);
            t.Post();
        }
        t.Flush();
    }
    // Records every `minutes` from `from` for `count` records.
    void AddEvery(double from, int minutes, int count) {
        std::vector<double> s;
        for (int i = 0; i < count; ++i) s.push_back(from + i * minutes / 1440.0);
        Add(s);
    }
    std::vector<double> Stamps() {
        std::vector<double> out;
        Table& t = ctx.Adm.Table1;
        for (t.First(); !t.Eof(); t.Next()) out.push_back(t.AsDateTime(0));
        return out;
    }
};

// Runs a shell command and returns what it printed.
inline std::string RunCommand(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = ::pclose(p);
    if (status) *status = rc;
    return out;
}

// The folder for screenshots when KOLVEX_SHOTS names one; empty otherwise.
inline QString ShotsDir() { return qEnvironmentVariable("KOLVEX_SHOTS"); }

inline void Shot(QWidget* w, const QString& name) {
    const QString dir = ShotsDir();
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    w->grab().save(dir + QStringLiteral("/") + name + QStringLiteral(".png"));
}

}  // namespace kolvex::test
