// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A zip archive written straight to a seekable file, as the workbook needs
// it: every entry deflated, one entry at a time, either whole from memory or
// streamed in pieces of any size (a worksheet of a million rows is never held
// in memory). A streamed entry is checksummed, deflated and written by a
// second thread while the caller makes the next piece; its CRC and sizes go
// into its local header once it is complete. The zip64 records appear only
// where a size or an offset needs them.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct z_stream_s;

namespace kolvex {

class ZipWriter {
public:
    // Writes at the start of fd (a regular file open for writing). `fail`
    // is called with the reason when a write fails; it must throw.
    // `level` is zlib's compression level of the streamed entries.
    ZipWriter(int fd, std::function<void(const std::string& why)> fail, int level = 1);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // A whole entry.
    void Add(const std::string& name, std::string_view data);

    // A streamed entry: Begin, any number of Write or Hand, End. `large`:
    // the entry may reach 4 GiB, so its local header carries the zip64 sizes.
    // A failure of the second thread is reported by the next call.
    void Begin(const std::string& name, bool large);
    void Write(const char* data, std::size_t n);
    // The first n bytes of chunk, without a copy: chunk comes back as another
    // buffer of at least the same size.
    void Hand(std::vector<char>& chunk, std::size_t n);
    void End();

    // The central directory; the archive is complete once this returns.
    void Finish();

    // The limit of the plain (not zip64) sizes and offsets.
    static constexpr std::uint64_t kPlainLimit = 0xFFFFFFFFu;

private:
    struct Entry {
        std::string Name;
        std::uint64_t Offset = 0, Packed = 0, Size = 0;
        std::uint32_t Crc = 0;
    };

    struct Failure {
        std::string Why;
    };
    struct Piece {
        std::vector<char> Data;
        std::size_t Size = 0;
    };

    void LocalHeader(const Entry& e, bool zip64);
    void Deflate(const unsigned char* data, std::size_t n, int flush);
    void Put(const void* data, std::size_t n);
    void Flush();
    void WriteAt(std::uint64_t offset, const void* data, std::size_t n);
    // The second thread's side: takes the pieces in order until the last.
    void Work();
    void Queue(Piece piece);
    void Stop();
    void CheckWorker();

    int fd_;
    std::function<void(const std::string&)> fail_;
    int level_;
    std::vector<Entry> entries_;
    std::vector<unsigned char> out_;  // bytes not yet written to the file
    std::size_t used_ = 0;
    std::uint64_t offset_ = 0;  // the file offset of out_[0]
    z_stream_s* z_ = nullptr;   // the streamed entry's deflate state
    bool streaming_ = false, streamLarge_ = false;
    Entry current_;
    // Between the caller and the second thread. While an entry streams, only
    // that thread touches out_, the file and current_'s sizes.
    std::vector<char> filling_;    // what Write collects
    std::size_t filled_ = 0;
    std::deque<Piece> queue_;      // for the second thread, in order
    std::vector<Piece> free_;      // taken pieces, for reuse
    bool last_ = false, stop_ = false, busy_ = false;
    std::string failed_;           // the second thread's failure
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

}  // namespace kolvex
