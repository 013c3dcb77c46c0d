// A report link held in memory: the host's writes are recorded, its reads are
// served from a prepared list of reports. Reads past the list fail, as on a
// reader that was unplugged. For single-threaded tests and fuzzing.
#pragma once

#include <atomic>
#include <deque>
#include <vector>

#include "device/report_link.h"
#include "sim/sim_framing.h"

class MemoryReportLink final : public ReportLink {
public:
    MemoryReportLink() = default;
    explicit MemoryReportLink(std::vector<Report> toRead) : toRead_(toRead.begin(), toRead.end()) {}

    bool WriteReport(const uint8_t* report, size_t length) override {
        if (cancelled_ || failWritesFrom_ == 0) return false;
        if (failWritesFrom_ > 0) --failWritesFrom_;
        written_.emplace_back(report, report + length);
        return true;
    }

    bool ReadReport(uint8_t* report, size_t length) override {
        if (cancelled_ || toRead_.empty()) return false;
        Report next = std::move(toRead_.front());
        toRead_.pop_front();
        if (next.size() != length) return false;
        std::copy(next.begin(), next.end(), report);
        ++reportsRead_;
        return true;
    }

    void Cancel() override { cancelled_ = true; }

    void Queue(const std::vector<Report>& reports) { toRead_.insert(toRead_.end(), reports.begin(), reports.end()); }
    // Writes after the next `count` ones fail (-1: never).
    void FailWritesAfter(int count) { failWritesFrom_ = count; }

    const std::vector<Report>& Written() const { return written_; }
    size_t ReportsRead() const { return reportsRead_; }
    size_t ReportsLeft() const { return toRead_.size(); }

private:
    std::deque<Report> toRead_;
    std::vector<Report> written_;
    int failWritesFrom_ = -1;
    size_t reportsRead_ = 0;
    std::atomic<bool> cancelled_{false};  // Cancel() may come from another thread
};
