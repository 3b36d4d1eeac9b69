// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes what the program makes of the logger's replies: any bytes as the
// replies to the requests of the archive-parameters window, the service
// views and a whole archive read (logger type, serial number, parameter
// block, input information, pointers, then the archive memory step by step).
// The port is replaced by one that serves the input: each exchange takes one
// control byte (lost reply, reply as sent, reply with a corrected check sum)
// and then the reply's bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/Errors.h"
#include "archive/ArchiveReader.h"
#include "logger/LoggerOps.h"
#include "link/SerCom.h"
#include "logger/ArchiveParamsModel.h"
#include "logger/ServiceViews.h"

namespace {
const std::uint8_t* g_data = nullptr;
std::size_t g_left = 0;
}  // namespace

namespace kolvex {

// The replaced port: no device, the replies come from the fuzzer's input.
TSerCom::~TSerCom() = default;
void NetPortDeleter::operator()(NetPort*) const {}

std::size_t TSerCom::Transact(const std::uint8_t*, std::size_t&, std::uint8_t* reply, std::size_t expected,
                              ReplyCheck accept) {
    if (g_left == 0 || expected == 0 || expected > kBufferSize)
        throw EComm(Tr("Chyba komunikace", "Communication error"));
    const std::uint8_t control = *g_data++;
    --g_left;
    if ((control & 3) == 0) throw EComm(Tr("Chyba komunikace", "Communication error"));
    std::memset(reply, 0, expected);
    const std::size_t n = g_left < expected ? g_left : expected;
    std::memcpy(reply, g_data, n);
    g_data += n;
    g_left -= n;
    if ((control & 3) >= 2 && accept && !accept(reply, expected)) {
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < expected; ++i) sum += reply[i];
        reply[expected - 1] = static_cast<std::uint8_t>(sum);
    }
    return expected;
}

}  // namespace kolvex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    g_data = data;
    g_left = size;
    kolvex::TSerCom port;
    kolvex::LoggerData logger;
    kolvex::LoggerOps ops(port, logger);
    kolvex::LoggerImage& image = logger.Image;
    std::size_t sink = 0;
    // The archive-parameters window and the service views.
    try {
        kolvex::InputTable tables[2];
        kolvex::ReadArchiveParams(ops, tables);
        (void)kolvex::ViewArchiveSettings(image);
        for (int i = 0; i < 2; ++i) {
            (void)kolvex::ViewAlarmSwitch(image, i);
            (void)kolvex::InputConfigurable(image, i);
            const std::uint8_t code = image.InputInfo.InputType[i];
            try {
                switch (kolvex::PageForInputType(code)) {
                    case kolvex::InputPage::Temperature:
                        sink += kolvex::SetUpTemperaturePage(image, i, tables[i]).RangeLowText.size();
                        break;
                    case kolvex::InputPage::Humidity:
                        sink += kolvex::SetUpHumidityPage(image, i, tables[i]).Name.size();
                        break;
                    case kolvex::InputPage::Current:
                        sink += kolvex::SetUpCurrentPage(image, i).Name.size();
                        break;
                    case kolvex::InputPage::Unused:
                        break;
                }
            } catch (const kolvex::EKolvex&) {
            }
        }
        const kolvex::LoggerClock clock = ops.ReadClock();
        sink += kolvex::FormatRawClock(clock).size();
        if (kolvex::ClockValid(clock)) (void)kolvex::ClockToDateTime(clock);
        const kolvex::ArchivePointers p = ops.ReadArchivePointers(9);
        sink += kolvex::FormatPointers(p).size();
        if (image.InputInfo.ArchiveSize) {
            try {
                kolvex::CheckArchiveSize(image.InputInfo.ArchiveSize);
                sink += static_cast<std::size_t>(kolvex::ArchiveFillPercent(p, image.InputInfo.ArchiveSize));
                sink += kolvex::UnreadArchiveBytes(p, image.InputInfo.ArchiveSize);
            } catch (const kolvex::EKolvex&) {
            }
        }
        (void)kolvex::ViewDiagnostics(ops.ReadDiagnostics());
        const kolvex::IdentificationBlock id = ops.ReadIdentification();
        sink += kolvex::FormatVersion(id.VersionMajor, id.VersionMinor).size() + id.ManufacturerText().size() +
                id.TypeText().size();
    } catch (const kolvex::EKolvex&) {
    }
    // The archive read of a download.
    try {
        ops.ReadLoggerType();
        ops.ReadSerialNumber();
        ops.ReadParameterBlock();
        ops.ReadInputInfo();
        const kolvex::ArchivePointers pointers = ops.ReadArchivePointers(9);
        const std::uint32_t ringSize = image.InputInfo.ArchiveSize;
        kolvex::CheckArchiveSize(ringSize);
        for (int mode = 0; mode < 2; ++mode) {
            const kolvex::ArchiveRange r = kolvex::PlanArchiveRange(pointers, ringSize, mode);
            if (!r.Read) continue;
            const std::uint64_t total = kolvex::ArchiveRangeTotal(r.Start, r.End, ringSize);
            std::uint64_t samples = 0;
            kolvex::ArchiveReadCallbacks cb;
            cb.Sample = [&](const kolvex::ArchiveSample& s) {
                if (s.Address >= ringSize) std::abort();
                ++samples;
            };
            int retries = 0;
            cb.OnCommError = [&](const kolvex::EComm&) {
                return g_left && ++retries < 4 ? kolvex::StepFailure::Retry : kolvex::StepFailure::Abort;
            };
            const auto res = kolvex::ReadArchiveRange(ops, image, r.Start, r.End, ringSize, cb);
            if (res.Stored != samples || samples > total) std::abort();
            if (res.Aborted && res.ResumeAddress >= ringSize) std::abort();
        }
    } catch (const kolvex::EKolvex&) {
    }
    (void)sink;
    return 0;
}
