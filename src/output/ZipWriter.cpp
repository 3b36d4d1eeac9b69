// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ZipWriter.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace kolvex {

namespace {

constexpr std::size_t kOutBuffer = 1 << 20;
// Write collects pieces of this size for the second thread, which is given at
// most this many pieces ahead of its work (memory stays a few megabytes).
constexpr std::size_t kPiece = 1 << 20;
constexpr std::size_t kPiecesAhead = 3;
// Version 2.0 (deflate) and 4.5 (zip64) of the format, written by an MS-DOS
// host (no file attributes to carry).
constexpr std::uint16_t kVersionDeflate = 20, kVersionZip64 = 45;
// 1980-01-01 00:00, the earliest time the format holds: the archive's bytes
// do not depend on when it was written.
constexpr std::uint16_t kDosTime = 0, kDosDate = (0 << 9) | (1 << 5) | 1;

void Le16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Le32(std::string& s, std::uint32_t v) {
    Le16(s, v & 0xFFFF);
    Le16(s, v >> 16);
}
void Le64(std::string& s, std::uint64_t v) {
    Le32(s, static_cast<std::uint32_t>(v));
    Le32(s, static_cast<std::uint32_t>(v >> 32));
}
std::uint32_t Plain32(std::uint64_t v) {
    return v >= ZipWriter::kPlainLimit ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

}  // namespace

ZipWriter::ZipWriter(int fd, std::function<void(const std::string&)> fail, int level)
    : fd_(fd), fail_(std::move(fail)), level_(level), out_(kOutBuffer) {}

ZipWriter::~ZipWriter() {
    Stop();
    if (z_) {
        deflateEnd(z_);
        delete z_;
    }
}

void ZipWriter::LocalHeader(const Entry& e, bool zip64) {
    std::string h;
    Le32(h, 0x04034b50);
    Le16(h, zip64 ? kVersionZip64 : kVersionDeflate);
    Le16(h, 0);  // flags
    Le16(h, Z_DEFLATED);
    Le16(h, kDosTime);
    Le16(h, kDosDate);
    Le32(h, e.Crc);
    Le32(h, zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(e.Packed));
    Le32(h, zip64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(e.Size));
    Le16(h, static_cast<std::uint32_t>(e.Name.size()));
    Le16(h, zip64 ? 20 : 0);
    h += e.Name;
    if (zip64) {
        Le16(h, 0x0001);
        Le16(h, 16);
        Le64(h, e.Size);
        Le64(h, e.Packed);
    }
    Put(h.data(), h.size());
}

void ZipWriter::Add(const std::string& name, std::string_view data) {
    if (streaming_) fail_("zip entry");
    Entry e;
    e.Name = name;
    e.Offset = offset_ + used_;
    e.Size = data.size();
    e.Crc = static_cast<std::uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
    // The small parts of a workbook: deflated in one go at the usual level.
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) fail_("deflate");
    std::string packed(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    const int r = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    if (r != Z_STREAM_END) fail_("deflate");
    e.Packed = packed.size();
    try {
        // Sizes known in advance: the local header is plain even past 4 GiB
        // of offset (only the central record gives the offset).
        LocalHeader(e, false);
        Put(packed.data(), packed.size());
    } catch (const Failure& f) {
        fail_(f.Why);
    }
    entries_.push_back(std::move(e));
}

void ZipWriter::Begin(const std::string& name, bool large) {
    if (streaming_) fail_("zip entry");
    current_ = Entry{};
    current_.Name = name;
    current_.Offset = offset_ + used_;
    streamLarge_ = large;
    try {
        LocalHeader(current_, large);
    } catch (const Failure& f) {
        fail_(f.Why);
    }
    if (!z_) {
        z_ = new z_stream{};
        if (deflateInit2(z_, level_, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            delete z_;
            z_ = nullptr;
            fail_("deflate");
        }
    } else if (deflateReset(z_) != Z_OK) {
        fail_("deflate");
    }
    streaming_ = true;
    filled_ = 0;
    last_ = false;
    failed_.clear();
    worker_ = std::thread([this] { Work(); });
}

void ZipWriter::Write(const char* data, std::size_t n) {
    if (!streaming_) fail_("zip entry");
    CheckWorker();
    while (n > 0) {
        if (filling_.size() < kPiece) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!free_.empty()) {
                    filling_.swap(free_.back().Data);
                    free_.pop_back();
                }
            }
            if (filling_.size() < kPiece) filling_.resize(kPiece);
        }
        const std::size_t k = std::min(n, kPiece - filled_);
        std::memcpy(filling_.data() + filled_, data, k);
        filled_ += k;
        data += k;
        n -= k;
        if (filled_ == kPiece) {
            Piece piece;
            piece.Data.swap(filling_);
            piece.Size = filled_;
            filled_ = 0;
            Queue(std::move(piece));
        }
    }
}

void ZipWriter::Hand(std::vector<char>& chunk, std::size_t n) {
    if (!streaming_) fail_("zip entry");
    CheckWorker();
    if (filled_ > 0) {  // what Write collected goes first
        Piece piece;
        piece.Data.swap(filling_);
        piece.Size = filled_;
        filled_ = 0;
        Queue(std::move(piece));
    }
    const std::size_t capacity = chunk.size();
    Piece piece;
    piece.Data.swap(chunk);
    piece.Size = n;
    Queue(std::move(piece));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!free_.empty()) {
            chunk.swap(free_.back().Data);
            free_.pop_back();
        }
    }
    if (chunk.size() < capacity) chunk.resize(capacity);
}

void ZipWriter::Queue(Piece piece) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kPiecesAhead || !failed_.empty(); });
    if (!failed_.empty()) {
        const std::string why = failed_;
        lock.unlock();
        fail_(why);
    }
    queue_.push_back(std::move(piece));
    lock.unlock();
    changed_.notify_all();
}

void ZipWriter::Work() {
    for (;;) {
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || last_ || !queue_.empty(); });
            if (stop_ || queue_.empty()) return;  // abandoned, or the last piece done
            piece = std::move(queue_.front());
            queue_.pop_front();
        }
        changed_.notify_all();
        try {
            const auto* bytes = reinterpret_cast<const unsigned char*>(piece.Data.data());
            current_.Crc = static_cast<std::uint32_t>(crc32_z(current_.Crc, bytes, piece.Size));
            current_.Size += piece.Size;
            Deflate(bytes, piece.Size, Z_NO_FLUSH);
        } catch (const Failure& f) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                failed_ = f.Why;
                queue_.clear();
            }
            changed_.notify_all();
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (free_.size() <= kPiecesAhead) free_.push_back(std::move(piece));
    }
}

void ZipWriter::CheckWorker() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (failed_.empty()) return;
    const std::string why = failed_;
    lock.unlock();
    fail_(why);
}

void ZipWriter::Stop() {
    if (!worker_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
    stop_ = false;
    queue_.clear();
}

void ZipWriter::Deflate(const unsigned char* data, std::size_t n, int flush) {
    z_->next_in = const_cast<Bytef*>(data);
    z_->avail_in = static_cast<uInt>(n);
    for (;;) {
        if (used_ == out_.size()) Flush();
        z_->next_out = out_.data() + used_;
        z_->avail_out = static_cast<uInt>(out_.size() - used_);
        const int r = deflate(z_, flush);
        const std::size_t made = out_.size() - used_ - z_->avail_out;
        used_ += made;
        current_.Packed += made;
        if (r == Z_STREAM_END) return;
        if (r != Z_OK && r != Z_BUF_ERROR) throw Failure{"deflate"};
        // Done when the input is taken and deflate had room left over.
        if (flush == Z_NO_FLUSH && z_->avail_in == 0 && z_->avail_out != 0) return;
    }
}

void ZipWriter::End() {
    if (!streaming_) fail_("zip entry");
    if (filled_ > 0) {
        Piece piece;
        piece.Data.swap(filling_);
        piece.Size = filled_;
        filled_ = 0;
        Queue(std::move(piece));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = true;
    }
    changed_.notify_all();
    worker_.join();
    streaming_ = false;
    if (!failed_.empty()) fail_(failed_);
    try {
        Deflate(nullptr, 0, Z_FINISH);
        if (!streamLarge_ && (current_.Size >= kPlainLimit || current_.Packed >= kPlainLimit))
            throw Failure{"zip entry over 4 GiB"};
        // The header's CRC and sizes, now that they are known.
        Flush();
        std::string fix;
        Le32(fix, current_.Crc);
        if (!streamLarge_) {
            Le32(fix, static_cast<std::uint32_t>(current_.Packed));
            Le32(fix, static_cast<std::uint32_t>(current_.Size));
        }
        WriteAt(current_.Offset + 14, fix.data(), fix.size());
        if (streamLarge_) {
            std::string sizes;
            Le64(sizes, current_.Size);
            Le64(sizes, current_.Packed);
            WriteAt(current_.Offset + 30 + current_.Name.size() + 4, sizes.data(), sizes.size());
        }
    } catch (const Failure& f) {
        fail_(f.Why);
    }
    entries_.push_back(std::move(current_));
    current_ = Entry{};
}

void ZipWriter::Finish() {
    if (streaming_) fail_("zip entry");
    const std::uint64_t directory = offset_ + used_;
    for (const Entry& e : entries_) {
        std::string extra;
        if (e.Size >= kPlainLimit) Le64(extra, e.Size);
        if (e.Packed >= kPlainLimit) Le64(extra, e.Packed);
        if (e.Offset >= kPlainLimit) Le64(extra, e.Offset);
        std::string h;
        Le32(h, 0x02014b50);
        Le16(h, extra.empty() ? kVersionDeflate : kVersionZip64);  // made by
        Le16(h, extra.empty() ? kVersionDeflate : kVersionZip64);  // needed
        Le16(h, 0);
        Le16(h, Z_DEFLATED);
        Le16(h, kDosTime);
        Le16(h, kDosDate);
        Le32(h, e.Crc);
        Le32(h, Plain32(e.Packed));
        Le32(h, Plain32(e.Size));
        Le16(h, static_cast<std::uint32_t>(e.Name.size()));
        Le16(h, extra.empty() ? 0 : static_cast<std::uint32_t>(extra.size() + 4));
        Le16(h, 0);  // comment
        Le16(h, 0);  // disk
        Le16(h, 0);  // internal attributes
        Le32(h, 0);  // external attributes
        Le32(h, Plain32(e.Offset));
        h += e.Name;
        if (!extra.empty()) {
            Le16(h, 0x0001);
            Le16(h, static_cast<std::uint32_t>(extra.size()));
            h += extra;
        }
        try {
            Put(h.data(), h.size());
        } catch (const Failure& f) {
            fail_(f.Why);
        }
    }
    const std::uint64_t end = offset_ + used_;
    const std::uint64_t size = end - directory, count = entries_.size();
    std::string t;
    if (directory >= kPlainLimit || size >= kPlainLimit || count >= 0xFFFF) {
        Le32(t, 0x06064b50);  // the zip64 end of central directory record
        Le64(t, 44);
        Le16(t, kVersionZip64);
        Le16(t, kVersionZip64);
        Le32(t, 0);
        Le32(t, 0);
        Le64(t, count);
        Le64(t, count);
        Le64(t, size);
        Le64(t, directory);
        Le32(t, 0x07064b50);  // its locator
        Le32(t, 0);
        Le64(t, end);
        Le32(t, 1);
    }
    Le32(t, 0x06054b50);
    Le16(t, 0);
    Le16(t, 0);
    Le16(t, count >= 0xFFFF ? 0xFFFF : static_cast<std::uint32_t>(count));
    Le16(t, count >= 0xFFFF ? 0xFFFF : static_cast<std::uint32_t>(count));
    Le32(t, Plain32(size));
    Le32(t, Plain32(directory));
    Le16(t, 0);
    try {
        Put(t.data(), t.size());
        Flush();
    } catch (const Failure& f) {
        fail_(f.Why);
    }
}

void ZipWriter::Put(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        if (used_ == out_.size()) Flush();
        const std::size_t k = std::min(n, out_.size() - used_);
        std::memcpy(out_.data() + used_, p, k);
        used_ += k;
        p += k;
        n -= k;
    }
}

void ZipWriter::Flush() {
    std::size_t done = 0;
    while (done < used_) {
        const ssize_t n = ::write(fd_, out_.data() + done, used_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            used_ = 0;
            throw Failure{n < 0 ? std::strerror(errno) : std::strerror(ENOSPC)};
        }
        done += static_cast<std::size_t>(n);
    }
    offset_ += used_;
    used_ = 0;
}

void ZipWriter::WriteAt(std::uint64_t offset, const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t k = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) throw Failure{k < 0 ? std::strerror(errno) : std::strerror(ENOSPC)};
        p += k;
        n -= static_cast<std::size_t>(k);
        offset += static_cast<std::uint64_t>(k);
    }
}

}  // namespace kolvex
