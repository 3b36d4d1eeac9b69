// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the archive tests: a scratch directory, raw file access, the
// Python cross-check scripts and a builder of dBASE files from their layout.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kolvex::test {

struct TempDir {
    std::string Path;
    TempDir() {
        char tmpl[] = "/tmp/kolvex-archive-XXXXXX";
        Path = ::mkdtemp(tmpl);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string operator/(const std::string& name) const { return Path + "/" + name; }
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& b) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline std::string PyDir() { return (std::filesystem::path(__FILE__).parent_path() / "py").string(); }

// Runs /usr/bin/python3 with a script of tests/archive/py and returns its output.
inline std::string RunPython(const std::string& script, const std::string& args, int* status = nullptr) {
    const std::string cmd = "/usr/bin/python3 " + PyDir() + "/" + script + " " + args + " 2>&1";
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

// A field of a hand-built table.
struct RawField {
    std::string Name;
    char Type;
    int Length;
    int Decimals = 0;
};

inline void PutLE(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A level-7 table: 68-byte header, 48-byte descriptors, 0x0D; records given raw
// (deleted flag included).
inline std::vector<std::uint8_t> BuildLevel7(const std::vector<RawField>& fields,
                                             const std::vector<std::vector<std::uint8_t>>& records,
                                             std::uint8_t version = 0x04) {
    const std::size_t headerLen = 68 + 48 * fields.size() + 1;
    std::size_t recLen = 1;
    for (const auto& f : fields) recLen += static_cast<std::size_t>(f.Length);
    std::vector<std::uint8_t> b(headerLen, 0);
    b[0] = version;
    b[1] = 124, b[2] = 1, b[3] = 2;
    PutLE(b, 4, static_cast<std::uint32_t>(records.size()), 4);
    PutLE(b, 8, static_cast<std::uint32_t>(headerLen), 2);
    PutLE(b, 10, static_cast<std::uint32_t>(recLen), 2);
    std::memcpy(b.data() + 32, "DBWINUS0", 8);  // language driver name
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::uint8_t* d = b.data() + 68 + 48 * i;
        std::memcpy(d, fields[i].Name.data(), fields[i].Name.size());
        d[32] = static_cast<std::uint8_t>(fields[i].Type);
        d[33] = static_cast<std::uint8_t>(fields[i].Length);
        d[34] = static_cast<std::uint8_t>(fields[i].Decimals);
    }
    b[headerLen - 1] = 0x0D;
    for (const auto& r : records) b.insert(b.end(), r.begin(), r.end());
    b.push_back(0x1A);
    return b;
}

// A dBASE III table with 32-byte descriptors.
inline std::vector<std::uint8_t> BuildDbase3(const std::vector<RawField>& fields,
                                             const std::vector<std::vector<std::uint8_t>>& records,
                                             std::uint8_t version = 0x03) {
    const std::size_t headerLen = 32 + 32 * fields.size() + 1;
    std::size_t recLen = 1;
    for (const auto& f : fields) recLen += static_cast<std::size_t>(f.Length);
    std::vector<std::uint8_t> b(headerLen, 0);
    b[0] = version;
    PutLE(b, 4, static_cast<std::uint32_t>(records.size()), 4);
    PutLE(b, 8, static_cast<std::uint32_t>(headerLen), 2);
    PutLE(b, 10, static_cast<std::uint32_t>(recLen), 2);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::uint8_t* d = b.data() + 32 + 32 * i;
        std::memcpy(d, fields[i].Name.data(), fields[i].Name.size());
        d[11] = static_cast<std::uint8_t>(fields[i].Type);
        d[16] = static_cast<std::uint8_t>(fields[i].Length);
        d[17] = static_cast<std::uint8_t>(fields[i].Decimals);
    }
    b[headerLen - 1] = 0x0D;
    for (const auto& r : records) b.insert(b.end(), r.begin(), r.end());
    b.push_back(0x1A);
    return b;
}

inline std::vector<std::uint8_t> Hex(const char* text) {
    std::vector<std::uint8_t> out;
    for (const char* p = text; *p;) {
        while (*p == ' ') ++p;
        if (!*p) break;
        out.push_back(static_cast<std::uint8_t>(std::strtoul(std::string(p, 2).c_str(), nullptr, 16)));
        p += 2;
    }
    return out;
}

}  // namespace kolvex::test
