// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveReader.h"

#include <cmath>
#include <vector>

#include "base/Errors.h"
#include "base/Language.h"
#include "logger/Conversion.h"
#include "base/DateTime.h"

namespace kolvex {

namespace {
double Epoch2000() { return *TryEncodeDateTime(2000, 1, 1, 0, 0, 0, 0); }
}  // namespace

void CheckArchiveSize(std::uint32_t size) {
    if (size < kArchiveStep || (size & (size - 1)) != 0)
        throw EComm(Tr("Neplatná velikost archivační paměti " + std::to_string(size),
                       "Invalid archive memory size " + std::to_string(size)));
}

ArchiveRange PlanArchiveRange(const ArchivePointers& p, std::uint32_t size, int readMode) {
    ArchiveRange r;
    const std::uint32_t write = static_cast<std::uint32_t>(p.ArchiveWrite) & (size - 1);
    if (readMode == 1) {
        r.Start = ((write + kArchiveStep) & (size - 1)) & ~(kArchiveStep - 1);
    } else {
        r.Start = static_cast<std::uint32_t>(p.ArchiveRead) & (size - 1);
    }
    r.End = write;
    r.Read = r.Start != r.End || p.Full();
    return r;
}

std::uint32_t ArchiveRangeTotal(std::uint32_t start, std::uint32_t end, std::uint32_t size) {
    const std::uint32_t addr = start & ~(kArchiveStep - 1);
    return end > start ? end - addr : end + size - addr;
}

ArchiveDecoder::ArchiveDecoder(const LoggerImage& image) : image_(image) { Reset(); }

void ArchiveDecoder::Reset() {
    format_ = 0x01;
    periodCount_ = 2;
    periodUnit_ = 0;
    timestamp_ = Epoch2000();
    formatErrors_ = 0;
}

std::size_t ArchiveDecoder::RecordLength(std::uint8_t first) const {
    if (first == kRecordHeader) return 8;
    if (first > kRecordHeader) return 1;
    const std::size_t per = (format_ & 0x04) ? 2 : 1;
    const std::size_t k = ((format_ & 0x01) ? per : 0) + ((format_ & 0x02) ? per : 0);
    return k ? k : 1;
}

void ArchiveDecoder::DecodeHeader(const std::uint8_t* p) {
    periodCount_ = 10 * (p[1] >> 4) + (p[1] & 15);
    periodUnit_ = p[2] & 7;
    format_ = p[3];
    const unsigned time = p[4] + 256u * p[5];
    const unsigned date = p[6] + 256u * p[7];
    const int second = 2 * static_cast<int>(time & 0x1F);
    const int minute = static_cast<int>((time >> 5) & 0x3F);
    const int hour = static_cast<int>(time >> 11);
    const int day = static_cast<int>(date & 0x1F);
    const int month = static_cast<int>((date >> 5) & 0x0F);
    const int year = 1980 + static_cast<int>(date >> 9);
    const bool dateOk = IsValidDate(year, month, day);
    const bool timeOk = IsValidTime(hour, minute, second, 0);
    if (!dateOk) formatErrors_ |= kFormatErrorDate;
    if (!timeOk) formatErrors_ |= kFormatErrorTime;
    // An impossible date or time leaves the running time stamp as it was.
    if (dateOk && timeOk) timestamp_ = *TryEncodeDateTime(year, month, day, hour, minute, second, 0);
}

void ArchiveDecoder::Advance() {
    const double c = periodCount_;
    switch (periodUnit_) {
        case 0: case 1: case 2: timestamp_ += c / 86400.0; break;
        case 3: timestamp_ += c * 60.0 / 86400.0; break;
        case 4: timestamp_ += c * 3600.0 / 86400.0; break;
        case 5: timestamp_ += c; break;
        default: break;  // no time step
    }
}

double ArchiveDecoder::StoredTimestamp(double running) {
    const DateTimeParts p = DecodeDateTime(running);  // nearest millisecond
    const auto v = TryEncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, 0);
    return v ? *v : running;
}

bool ArchiveDecoder::Decode(const std::uint8_t* b, ArchiveSample& sample) {
    if (b[0] == kRecordHeader) {
        DecodeHeader(b);
        return false;
    }
    if (b[0] > kRecordHeader) return false;
    sample.Values[0] = sample.Values[1] = -1;
    std::size_t k = 0;
    int slot = 0;
    const bool two = (format_ & 0x04) != 0;
    for (int input = 0; input < 2; ++input) {
        if (!(format_ & (1 << input))) continue;
        double raw;
        if (two) {
            raw = 256.0 * b[k] + b[k + 1];
            k += 2;
        } else {
            raw = 256.0 * b[k];
            k += 1;
        }
        sample.Values[slot++] = ConvertRawValue(image_, input, raw);
    }
    if (!IsDateTimeInRange(timestamp_)) {
        // Periods run on past the year 9999: a date error, with the
        // replacement date of the other date errors.
        formatErrors_ |= kFormatErrorDate;
        timestamp_ = Epoch2000();
    }
    sample.Timestamp = StoredTimestamp(timestamp_);
    Advance();
    return true;
}

ArchiveReadResult ReadArchiveRange(const ArchiveBlockReader& read, const LoggerImage& image, std::uint32_t start,
                                   std::uint32_t end, std::uint32_t size, const ArchiveReadCallbacks& cb) {
    CheckArchiveSize(size);
    ArchiveReadResult result;
    ArchiveDecoder decoder(image);
    bool started = false;
    std::uint32_t addr = start & ~(kArchiveStep - 1);
    const std::uint64_t total = ArchiveRangeTotal(start, end, size);
    std::uint64_t done = 0;

    // Reads 256 bytes at `address`, asking what to do on a communication error.
    // Returns false when the user chose to abort.
    auto readStep = [&](std::uint32_t address, std::vector<std::uint8_t>& into) -> bool {
        for (;;) {
            try {
                const auto block = read(address);
                into.insert(into.end(), block.begin(), block.end());
                return true;
            } catch (const EComm& e) {
                if (cb.Stop && cb.Stop()) return false;
                const StepFailure what = cb.OnCommError ? cb.OnCommError(e) : StepFailure::Abort;
                if (what == StepFailure::Abort) return false;
            }
        }
    };

    std::vector<std::uint8_t> buf;
    buf.reserve(2 * kArchiveStep);
    while (done < total) {
        buf.clear();
        if ((cb.Stop && cb.Stop()) || !readStep(addr, buf)) {
            result.Aborted = true;
            break;
        }
        // Only the bytes up to the end of the ring belong to this step.
        std::size_t valid = std::min<std::size_t>(kArchiveStep, size - addr);
        std::size_t pos = 0;
        bool aborted = false;
        for (;;) {
            if (!started && addr >= start) started = true;
            const std::size_t length = decoder.RecordLength(buf[pos]);
            if (pos + length > valid) {
                // The record runs past this step: read the bytes that follow it.
                const std::uint32_t next = (addr + static_cast<std::uint32_t>(valid - pos)) & (size - 1);
                std::vector<std::uint8_t> more;
                if (!readStep(next, more)) {
                    aborted = true;
                    break;
                }
                buf.resize(valid);
                buf.insert(buf.end(), more.begin(), more.end());
                valid += more.size();
            }
            ArchiveSample sample;
            if (decoder.Decode(&buf[pos], sample) && started) {
                sample.Address = addr;
                if (cb.Sample) cb.Sample(sample);
                ++result.Stored;
            }
            pos += length;
            addr = (addr + static_cast<std::uint32_t>(length));
            done += length;
            if (addr >= size) addr -= size;
            if (done >= total || pos >= std::min<std::size_t>(valid, kArchiveStep) || addr == 0) break;
        }
        if (aborted) {
            result.Aborted = true;
            break;
        }
        if (cb.Progress) cb.Progress(static_cast<int>(done * 100 / total));
        if (done < total && cb.Stop && cb.Stop()) {
            result.Aborted = true;
            break;
        }
    }
    if (result.Aborted) result.ResumeAddress = started ? addr : start;
    result.FormatErrors = decoder.FormatErrors();
    return result;
}

}  // namespace kolvex
