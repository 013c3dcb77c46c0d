// One 4096-byte command and its 4096-byte answer through the framing and the
// simulated reader, against the same number of raw report writes and reads
// over the same kind of socket pair, in one run.
#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

#include "device/hid_framing.h"
#include "device/posix/socket_report_link.h"
#include "sim/reader_simulator.h"
#include "sim/responders.h"

namespace {

constexpr uint16_t kReportLen = 65;
constexpr uint32_t kMessage = 4096;
// 4096 bytes at 63 per report: 65 full reports and a last one of 1 byte.
constexpr size_t kReports = (kMessage + kReportLen - 3) / (kReportLen - 2);

void Exchange_FramingAndSimulator(benchmark::State& state) {
    auto [host, reader] = MakeSocketLinkPair();
    ReaderSimulator simulator(std::move(reader), kReportLen, sim::Echo());
    HidDevicePtr device = MakeHidDevice("bench", std::move(host), kReportLen);
    const Bytes command = sim::PatternBytes(kMessage);
    std::vector<uint8_t> answer(kMessage);
    for (auto _ : state) {
        uint32_t count = 0;
        if (!WriteHidMessage(*device, command.data(), kMessage) ||
            !ReadHidMessage(*device, answer.data(), kMessage, count) || count != kMessage)
            state.SkipWithError("exchange failed");
    }
    state.counters["reports_each_way"] = static_cast<double>(kReports);
}
BENCHMARK(Exchange_FramingAndSimulator)->UseRealTime();

void Exchange_RawReports(benchmark::State& state) {
    auto [host, peer] = MakeSocketLinkPair();
    // The peer takes a whole message's reports, then sends as many back.
    std::thread echo([link = peer.get()] {
        std::vector<Report> reports(kReports, Report(kReportLen));
        while (true) {
            for (Report& r : reports)
                if (!link->ReadReport(r.data(), kReportLen)) return;
            for (const Report& r : reports)
                if (!link->WriteReport(r.data(), kReportLen)) return;
        }
    });
    Report report(kReportLen, 0);
    for (auto _ : state) {
        for (size_t i = 0; i < kReports; ++i) host->WriteReport(report.data(), kReportLen);
        for (size_t i = 0; i < kReports; ++i) host->ReadReport(report.data(), kReportLen);
    }
    peer->Cancel();
    host->Cancel();
    echo.join();
    state.counters["reports_each_way"] = static_cast<double>(kReports);
}
BENCHMARK(Exchange_RawReports)->UseRealTime();

}  // namespace
