// A trace sink that keeps each event's text, for the tests of what is
// traced. Safe from any thread, as the control's worker writes too.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "trace/trace_sink.h"

class RecordingSink final : public TraceSink {
public:
    using TraceSink::TraceSink;

    void Write(const TraceEvent& event) noexcept override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(event.Text());
    }

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

    // The one line that starts with `start`; fails the test unless there is
    // exactly one.
    std::string Only(const std::string& start) {
        std::vector<std::string> found;
        for (const std::string& line : Lines())
            if (line.starts_with(start)) found.push_back(line);
        EXPECT_EQ(found.size(), 1u) << start;
        return found.empty() ? std::string() : found.front();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};
