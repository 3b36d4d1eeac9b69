// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared pieces of the viewer tests: archive tables written by the storage
// engine, a recorder that answers every modal dialog, child lookup.

#include <QDialog>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/ui/ModalRunner.h"
#include "archive/Adm.h"
#include "archive/ParameterFile.h"
#include "base/DateTime.h"

namespace viewertest {

// Answers message boxes with `answer` (recording their texts) and hands
// every other dialog to onDialog (default: rejected).
struct ModalRecorder {
    QStringList messages;
    QStringList dialogs;
    int answer = QMessageBox::Ok;
    std::function<int(QDialog&)> onDialog;
    std::function<int(QMessageBox&)> onBox;

    ModalRecorder() {
        kolvex::ui::SetModalHook([this](QDialog& d) {
            if (auto* box = qobject_cast<QMessageBox*>(&d)) {
                messages << box->text();
                if (onBox) return onBox(*box);
                return answer;
            }
            dialogs << d.objectName();
            return onDialog ? onDialog(d) : static_cast<int>(QDialog::Rejected);
        });
    }
    ~ModalRecorder() { kolvex::ui::SetModalHook(nullptr); }
};

template <class T>
T* Child(QObject& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no child %s", name);
    return c;
}

struct Sample {
    double Time;
    std::optional<double> V1, V2;
};

// A parameter record for DATETIME + VSTUP1 (+ VSTUP2): labels, units,
// decimals and axis settings as given.
inline kolvex::ArchiveParameterRecord Record(bool two = true, const std::string& unit1 = "°C",
                                             const std::string& unit2 = "mA", int decimals1 = 1) {
    using namespace kolvex;
    ArchiveParameterRecord r;
    FieldDescriptor time;
    time.Type = kFieldTypeDateTime;
    time.Name = "DATETIME";
    time.Label = "Date time";
    time.Unit = "dd/mm/yyyy  hh:nn:ss";
    r.SetDescriptor(0, time);
    FieldDescriptor d1;
    d1.Type = kFieldTypeFloat;
    d1.Name = "VSTUP1";
    d1.Label = "Teplota";
    d1.Unit = unit1;
    d1.Decimals = decimals1;
    r.SetDescriptor(1, d1);
    AxisSettings left;
    left.Source = 1;
    left.Automatic = 0;
    left.Minimum = 0;
    left.Maximum = 100;
    left.Colour = 0x0000FF;
    left.Marker = 1;
    AxisSettings right = left;
    if (two) {
        FieldDescriptor d2 = d1;
        d2.Name = "VSTUP2";
        d2.Label = "Proud";
        d2.Unit = unit2;
        d2.Decimals = 2;
        r.SetDescriptor(2, d2);
        right.Source = 2;
        right.Automatic = 1;
        right.Minimum = 4;
        right.Maximum = 20;
        right.Colour = 0x008000;
    }
    r.SetLeftAxis(left);
    r.SetRightAxis(right);
    r.SetPanelWidth(two ? 420 : 215);
    r.SetFieldCount(two ? 3 : 2);
    return r;
}

// Writes a table with its parameter file through the data module and closes it.
inline void WriteTable(const std::string& path, const std::vector<Sample>& samples,
                       const kolvex::ArchiveParameterRecord& record = Record()) {
    kolvex::FixedAnswerer yes(true);
    kolvex::TADM adm(&yes);
    adm.CreateArchive(path, record);
    kolvex::Table& t = adm.Table1;
    t.DisableControls();
    for (const Sample& s : samples) {
        t.Append();
        t.SetDateTime(0, s.Time);
        if (s.V1) t.SetFloat(1, *s.V1);
        if (t.FieldCount() > 2 && s.V2) t.SetFloat(2, *s.V2);
        t.Post();
    }
    t.EnableControls();
    adm.CloseArchive();
}

inline double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return *kolvex::TryEncodeDateTime(y, mo, d, h, mi, s);
}

// Samples every ten minutes from 31 August 2004 12:30 with a ramp on input 1.
inline std::vector<Sample> Ramp(int n) {
    std::vector<Sample> v;
    for (int i = 0; i < n; ++i)
        v.push_back({At(2004, 8, 31, 12, 30) + i * 600.0 / 86400.0, 20.0 + i * 0.5, 4.0 + i * 0.25});
    return v;
}

inline bool Near(double a, double b, double tolerance = 1e-9) { return std::abs(a - b) <= tolerance; }

}  // namespace viewertest
