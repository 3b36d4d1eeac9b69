// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Dump.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <nlohmann/json.hpp>

#include "base/Errors.h"
#include "base/Language.h"
#include "output/NumberText.h"
#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "archive/ParameterFile.h"
#include "archive/Table.h"
#include "archive/dbf/DbfTable.h"
#include "archive/dbf/DbfCodec.h"
#include "base/DateTime.h"

namespace kolvex::cli {

namespace {

using nlohmann::json;

bool IsTime(FieldType t) { return t == FieldType::DateTime || t == FieldType::Date; }
bool IsNumber(FieldType t) { return t != FieldType::Text && t != FieldType::Logical && !IsTime(t); }

// Shortest text that reads back as the same double.
std::string NumberText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string CsvQuote(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string Cell(const Table& t, int i) {
    if (t.IsNull(i)) return {};
    const FieldType type = t.GetFieldType(i);
    if (type == FieldType::DateTime) return kolvex::FormatIsoDateTime(t.AsDateTime(i), true);
    if (IsNumber(type)) return NumberText(t.AsFloat(i));
    return t.AsText(i);
}

json JsonCell(const Table& t, int i) {
    if (t.IsNull(i)) return nullptr;
    const FieldType type = t.GetFieldType(i);
    if (IsNumber(type)) return t.AsFloat(i);
    if (type == FieldType::Logical) return t.AsFloat(i) != 0;
    return Cell(t, i);
}

json Axis(const AxisSettings& a) {
    return {{"source", a.Source},   {"automatic", a.Automatic != 0}, {"minimum", a.Minimum},
            {"maximum", a.Maximum}, {"colour", a.Colour}};
}

json Parameters(const std::string& tablePath) {
    const auto data = ReadFileHead(ReplaceExtension(tablePath, ".par"), kParameterRecordSize);
    if (!data) return nullptr;
    ArchiveParameterRecord r;
    std::memcpy(r.Bytes.data(), data->data(), data->size());
    json fields = json::array();
    for (int i = 0; i < r.FieldCount() && i < kMaxDescriptors; ++i) {
        const FieldDescriptor d = r.Descriptor(i);
        fields.push_back({{"name", d.Name}, {"label", d.Label}, {"unit", d.Unit}, {"decimals", d.Decimals}});
    }
    return {{"serial", r.SerialNumber()},
            {"field_count", r.FieldCount()},
            {"fields", fields},
            {"left_axis", Axis(r.LeftAxis())},
            {"right_axis", Axis(r.RightAxis())},
            {"panel_width", r.PanelWidth()},
            {"footer", r.Footer()},
            {"checksum_ok", data->size() == kParameterRecordSize && r.ChecksumOk()}};
}

// Output gathered in one large buffer and written to stdout when full.
class Output {
public:
    static constexpr std::size_t kSize = 1 << 20;
    Output() { buf_.resize(kSize); }
    ~Output() {
        try {
            Flush();
        } catch (...) {
        }
    }
    // Room for at least n more bytes.
    char* Reserve(std::size_t n) {
        if (used_ + n > buf_.size()) {
            Flush();
            if (n > buf_.size()) buf_.resize(n);
        }
        return buf_.data() + used_;
    }
    void Commit(char* end) { used_ = static_cast<std::size_t>(end - buf_.data()); }
    void Put(std::string_view s) {
        char* p = Reserve(s.size());
        std::memcpy(p, s.data(), s.size());
        Commit(p + s.size());
    }
    void Put(char c) {
        char* p = Reserve(1);
        *p = c;
        Commit(p + 1);
    }
    void Flush() {
        if (used_ > 0 && std::fwrite(buf_.data(), 1, used_, stdout) != used_) {
            used_ = 0;
            throw EKolvex(Tr(std::string("Výstup se nepodařilo zapsat: ") + std::strerror(errno),
                             std::string("The output could not be written: ") + std::strerror(errno)));
        }
        used_ = 0;
    }
    void Finish() {
        Flush();
        if (std::fflush(stdout) != 0)
            throw EKolvex(Tr(std::string("Výstup se nepodařilo zapsat: ") + std::strerror(errno),
                             std::string("The output could not be written: ") + std::strerror(errno)));
    }

private:
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

// Whether every field is a number or a date-time (the fields of every
// archive table): then the records are read in blocks of decoded rows.
bool AllNumeric(const Table& t) {
    for (int i = 0; i < t.FieldCount(); ++i) {
        const FieldType type = t.GetFieldType(i);
        if (type == FieldType::Text || type == FieldType::Logical || type == FieldType::Date) return false;
    }
    return true;
}

// The cell of a decoded number or date-time, as Cell() writes it.
char* WriteCell(char* p, FieldType type, double v, IsoDateTimeWriter& dates) {
    if (type == FieldType::DateTime) return dates.Write(p, v, true);
    return WriteShortestNumber(p, v);
}

// Walks the records of a dump in order. When every field is a number or a
// date-time the records are read in blocks of decoded rows and `row` gets
// each one's values, null flags and field types; otherwise `record` is called
// with the table standing on each record in turn.
template <class Record, class Row>
void ForEachRecord(Table& t, Record record, Row row) {
    if (!AllNumeric(t)) {
        for (t.First(); !t.Eof(); t.Next()) record();
        return;
    }
    const int n = t.FieldCount();
    std::vector<int> fields(static_cast<std::size_t>(n));
    std::vector<FieldType> types(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        fields[static_cast<std::size_t>(i)] = i;
        types[static_cast<std::size_t>(i)] = t.GetFieldType(i);
    }
    t.Scan(fields, 1, [&](const ScanBlock& b) {
        for (std::size_t r = 0; r < b.Rows; ++r) row(b.Values + r * b.Fields, b.Nulls + r * b.Fields, types);
        return true;
    });
}

void DumpCsv(Table& t, Output& out) {
    const int n = t.FieldCount();
    std::string line;
    for (int i = 0; i < n; ++i) line += (i ? "," : "") + CsvQuote(t.FieldName(i));
    out.Put(line);
    out.Put('\n');
    IsoDateTimeWriter dates;
    const std::size_t room = static_cast<std::size_t>(n) * 48 + 1;
    ForEachRecord(
        t,
        [&] {
            line.clear();
            for (int i = 0; i < n; ++i) {
                if (i) line += ',';
                line += CsvQuote(Cell(t, i));
            }
            line += '\n';
            out.Put(line);
        },
        [&](const double* v, const std::uint8_t* null, const std::vector<FieldType>& types) {
            char* p = out.Reserve(room);
            for (std::size_t i = 0; i < types.size(); ++i) {
                if (i) *p++ = ',';
                if (!null[i]) p = WriteCell(p, types[i], v[i], dates);
            }
            *p++ = '\n';
            out.Commit(p);
        });
}

// The records as a JSON array, written record by record.
void DumpJsonRecords(Table& t, Output& out) {
    const int n = t.FieldCount();
    out.Put('[');
    bool first = true;
    IsoDateTimeWriter dates;
    std::string number;
    ForEachRecord(
        t,
        [&] {
            json rec = json::array();
            for (int i = 0; i < n; ++i) rec.push_back(JsonCell(t, i));
            if (!first) out.Put(',');
            first = false;
            out.Put(rec.dump());
        },
        [&](const double* v, const std::uint8_t* null, const std::vector<FieldType>& types) {
            if (!first) out.Put(',');
            first = false;
            out.Put('[');
            for (std::size_t i = 0; i < types.size(); ++i) {
                if (i) out.Put(',');
                if (null[i]) {
                    out.Put("null");
                } else if (types[i] == FieldType::DateTime) {
                    char* p = out.Reserve(IsoDateTimeWriter::kMaxLength + 2);
                    *p++ = '"';
                    p = WriteCell(p, types[i], v[i], dates);
                    *p++ = '"';
                    out.Commit(p);
                } else {
                    // The library's own number format, as the whole document had it.
                    number = json(v[i]).dump();
                    out.Put(number);
                }
            }
            out.Put(']');
        });
    out.Put(']');
}

}  // namespace

int RunDump(const Options& o, const std::vector<std::string>& args) {
    bool asJson = o.Json;
    std::string path;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json")
            asJson = true;
        else if (path.empty())
            path = args[i];
        else
            throw UsageError("dump takes one table");
    }
    if (path.empty()) throw UsageError("dump needs a table");
    if (!FileExists(path))
        throw EADM(Tr("Soubor  " + path + "\r\nneexistuje.", "The file  " + path + "\r\ndoes not exist."));
    Table t;
    t.SetPath(path);
    try {
        t.Open();
    } catch (const std::exception& e) {
        throw EADM(Tr("Soubor  " + path + "\r\nse nepodařilo otevřít.", "The file  " + path + "\r\nwas not opened.") +
                   "\r\n" + e.what());
    }
    if (const auto* d = dynamic_cast<const dbf::DbfTable*>(t.Engine()); d && d->MemoMissing())
        std::cerr << Tr("kolvex12-cli: k tabulce " + path + " chybí soubor memo (.dbt/.fpt); pole memo jsou prázdná",
                        "kolvex12-cli: the memo file (.dbt/.fpt) of the table " + path +
                            " is missing; memo fields are shown empty")
                  << std::endl;
    if (const std::int64_t missing = t.MissingRecords(); missing > 0)
        std::cerr << Tr("kolvex12-cli: tabulka " + path + " je poškozená: na konci souboru chybí " +
                            std::to_string(missing) + " záznamů (kolvex12-cli repair ji opraví)",
                        "kolvex12-cli: the table " + path + " is damaged: " + std::to_string(missing) +
                            " records are missing at the end of the file (kolvex12-cli repair mends it)")
                  << std::endl;
    const std::int64_t damaged = t.DamagedRecords();
    if (damaged > 0) std::cerr << "kolvex12-cli: " << DamagedRecordsWarning(path, damaged) << std::endl;
    const int n = t.FieldCount();
    std::cout.flush();
    Output out;
    if (asJson) {
        // The object's members in the library's (sorted) order, the records
        // streamed instead of built as one document.
        json fields = json::array();
        for (int i = 0; i < n; ++i) fields.push_back(t.FieldName(i));
        out.Put("{");
        if (damaged > 0) out.Put("\"damaged_records\":" + json(damaged).dump() + ",");
        out.Put("\"fields\":");
        out.Put(fields.dump());
        if (t.MissingRecords() > 0) {
            out.Put(",\"missing_records\":");
            out.Put(json(t.MissingRecords()).dump());
        }
        out.Put(",\"parameters\":");
        out.Put(Parameters(path).dump());
        out.Put(",\"records\":");
        DumpJsonRecords(t, out);
        out.Put("}\n");
    } else {
        DumpCsv(t, out);
    }
    out.Finish();
    return 0;
}

int RunRepair(const Options& o, const std::vector<std::string>& args) {
    if (args.size() != 2) throw UsageError("repair takes one table");
    const std::string& path = args[1];
    if (!FileExists(path))
        throw EADM(Tr("Soubor  " + path + "\r\nneexistuje.", "The file  " + path + "\r\ndoes not exist."));
    const std::string backup = ReplaceExtension(path, ".dbfbak");
    if (FileExists(backup))
        throw EADM(Tr("Tabulka  " + path + "  nebyla opravena: záloha " + backup + " už existuje",
                      "The table  " + path + "  was not repaired: the backup " + backup + " exists already"));
    const std::int64_t kept = RepairTableFile(path, backup, false);
    if (o.Json) {
        std::cout << json{{"repaired", kept >= 0}, {"records", kept >= 0 ? json(kept) : json(nullptr)},
                          {"backup", kept >= 0 ? json(backup) : json(nullptr)}}
                         .dump()
                  << std::endl;
    } else if (kept < 0) {
        std::cout << Tr("Tabulka  " + path + "  opravu nepotřebuje", "The table  " + path + "  needs no repair") << "\n";
    } else {
        std::cout << Tr("Tabulka  " + path + "  opravena: " + std::to_string(kept) + " záznamů, originál v  " + backup,
                        "The table  " + path + "  repaired: " + std::to_string(kept) + " records, the original in  " +
                            backup)
                  << "\n";
    }
    return 0;
}

}  // namespace kolvex::cli
