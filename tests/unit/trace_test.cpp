// The trace's lines and its file: what one event looks like, that a value
// can never break a line, that an event is built only when its level is
// wanted and never lets a failure out, and the cap with one earlier file,
// also when threads write at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <regex>
#include <thread>

#include "recording_sink.h"
#include "trace/posix/posix_trace_files.h"
#include "trace/rolling_trace_file.h"
#include "trace/trace_sink.h"

namespace {

using namespace std::chrono_literals;

TEST(TraceLineTest, StampThenEventThenFields) {
    // 2025-06-01 08:15:42.137 UTC
    const auto time = std::chrono::sys_days(std::chrono::year{2025} / 6 / 1) + 8h + 15min + 42s + 137ms + 999us;
    const TraceStamp stamp{time, 4242, 17, 3};
    const TraceEvent event =
        TraceEvent("DevCall").Add("handle", 1).Add("out", 5u).AddHex("last", (const uint8_t*)"\x90\x00", 2);
    EXPECT_EQ(TraceLine(stamp, event),
              "2025-06-01T08:15:42.137Z pid=4242 tid=17 control=3 DevCall handle=1 out=5 last=9000\r\n");
    EXPECT_EQ(TraceLine(TraceStamp{std::chrono::sys_days(std::chrono::year{1999} / 12 / 31) + 23h + 59min + 59s + 5ms},
                        TraceEvent("x")),
              "1999-12-31T23:59:59.005Z pid=0 tid=0 control=0 x\r\n");
}

TEST(TraceLineTest, NoValueCanBreakTheLineOrForgeAField) {
    const TraceEvent event = TraceEvent("policy")
                                 .Add("plain", "https://a.example:443")
                                 .Add("spaced", "has a path other than /")
                                 .Add("forged", "x\r\n2025-01-01T00:00:00.000Z pid=1 fake=1")
                                 .Add("quoted", "say \"hi\" \\ back")
                                 .Add("empty", "")
                                 .Add("utf8", "caf\xc3\xa9")
                                 .AddHex("none", nullptr, 0);
    EXPECT_EQ(event.Text(),
              "policy plain=https://a.example:443 spaced=\"has a path other than /\""
              " forged=\"x\\x0D\\x0A2025-01-01T00:00:00.000Z pid=1 fake=1\" quoted=\"say \\\"hi\\\" \\\\ back\""
              " empty=\"\" utf8=caf\xc3\xa9 none=\"\"");
    EXPECT_EQ(event.Text().find('\n'), std::string::npos);
}

TEST(TraceSinkTest, AnEventIsBuiltOnlyWhenItsLevelIsWanted) {
    RecordingSink calls(TraceLevel::Calls);
    int built = 0;
    const auto build = [&] {
        ++built;
        return TraceEvent("e");
    };
    Trace(&calls, TraceLevel::Errors, build);
    Trace(&calls, TraceLevel::Calls, build);
    Trace(&calls, TraceLevel::Bytes, build);
    Trace(&calls, TraceLevel::Off, build);
    Trace(static_cast<TraceSink*>(nullptr), TraceLevel::Errors, build);
    EXPECT_EQ(built, 2);
    EXPECT_EQ(calls.Lines().size(), 2u);

    RecordingSink off(TraceLevel::Off);
    Trace(&off, TraceLevel::Errors, build);
    EXPECT_EQ(built, 2) << "off: nothing is even built";
}

TEST(TraceSinkTest, AFailureWhileBuildingCostsOnlyTheEvent) {
    RecordingSink sink(TraceLevel::Bytes);
    EXPECT_NO_THROW(Trace(&sink, TraceLevel::Errors, []() -> TraceEvent { throw std::bad_alloc(); }));
    EXPECT_TRUE(sink.Lines().empty());
}

// Files in memory, with failures on demand.
class MemoryFiles final : public TraceFiles {
public:
    class File final : public TraceFile {
    public:
        File(MemoryFiles& files, std::string path) : files_(files), path_(std::move(path)) {}
        bool Append(std::string_view bytes) noexcept override {
            if (files_.failAppend) return false;
            files_.contents[path_] += bytes;
            return true;
        }

    private:
        MemoryFiles& files_;
        std::string path_;
    };

    std::unique_ptr<TraceFile> OpenForAppend(const std::string& path, uint64_t& size) noexcept override {
        ++opens;
        if (failOpen) return nullptr;
        size = contents[path].size();
        return std::make_unique<File>(*this, path);
    }
    bool Replace(const std::string& from, const std::string& to) noexcept override {
        if (failReplace) return false;
        contents[to] = std::move(contents[from]);
        contents.erase(from);
        return true;
    }

    std::map<std::string, std::string> contents;
    int opens = 0;
    bool failOpen = false, failReplace = false, failAppend = false;
};

std::string Line(char fill, size_t length) {
    return std::string(length - 2, fill) + "\r\n";
}

TEST(RollingTraceFileTest, TheFileNeverPassesTheCapAndOneEarlierFileIsKept) {
    MemoryFiles files;
    files.contents["t.log"] = std::string(50, 'o');  // left by an earlier run of a process with this id
    RollingTraceFile trace(files, "t.log", "t.1.log", 100);
    EXPECT_TRUE(trace.Write(Line('a', 40)));
    EXPECT_EQ(files.contents["t.log"].size(), 90u) << "appended to what was there";
    EXPECT_TRUE(trace.Write(Line('b', 40)));
    EXPECT_EQ(files.contents["t.1.log"], std::string(50, 'o') + Line('a', 40));
    EXPECT_EQ(files.contents["t.log"], Line('b', 40));
    EXPECT_TRUE(trace.Write(Line('c', 60)));
    EXPECT_EQ(files.contents["t.log"].size(), 100u) << "exactly at the cap is allowed";
    EXPECT_TRUE(trace.Write(Line('d', 10)));
    EXPECT_EQ(files.contents["t.1.log"], Line('b', 40) + Line('c', 60)) << "only one earlier file";
    EXPECT_EQ(files.contents["t.log"], Line('d', 10));
    EXPECT_EQ(files.contents.size(), 2u);
}

TEST(RollingTraceFileTest, FailuresDropLinesAndTheFileIsLeftAloneForAWhile) {
    MemoryFiles files;
    files.failOpen = true;
    RollingTraceFile trace(files, "t.log", "t.1.log", 100);
    EXPECT_FALSE(trace.Write(Line('a', 10)));
    EXPECT_FALSE(trace.Write(Line('a', 10)));
    EXPECT_EQ(files.opens, 1) << "an unwritable folder is not asked again at every line";

    MemoryFiles full;
    RollingTraceFile capped(full, "t.log", "t.1.log", 100);
    ASSERT_TRUE(capped.Write(Line('a', 90)));
    full.failReplace = true;
    EXPECT_FALSE(capped.Write(Line('b', 20))) << "the earlier file cannot be replaced: the line is dropped";
    EXPECT_EQ(full.contents["t.log"], Line('a', 90)) << "and the cap holds";
    full.failReplace = false;
    EXPECT_FALSE(capped.Write(Line('b', 20))) << "still resting";

    MemoryFiles diskFull;
    RollingTraceFile failing(diskFull, "t.log", "t.1.log", 100);
    diskFull.failAppend = true;
    EXPECT_FALSE(failing.Write(Line('a', 10)));
    diskFull.failAppend = false;
    EXPECT_TRUE(failing.Write(Line('b', 10)));
    EXPECT_EQ(diskFull.contents["t.log"], Line('b', 10)) << "a failed write counts nothing";
}

TEST(RollingTraceFileTest, ThreadsWritingAtOnceGiveWholeLinesOnDisk) {
    const auto folder = std::filesystem::temp_directory_path() / ("trace_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    PosixTraceFiles files;
    const std::string path = (folder / "deep" / TraceFileName(7)).string();
    const std::string earlier = (folder / "deep" / EarlierTraceFileName(7)).string();
    RollingTraceFile trace(files, path, earlier, 64 * 1024);
    constexpr int kThreads = 4, kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                trace.Write("thread=" + std::to_string(t) + " line=" + std::to_string(i) + " " +
                            std::string(20 + (i % 50), 'x') + " end\r\n");
        });
    for (std::thread& thread : threads) thread.join();

    const std::regex whole("thread=[0-3] line=[0-9]+ x+ end\r");
    size_t count = 0;
    for (const std::string& file : {earlier, path}) {
        EXPECT_LE(std::filesystem::file_size(file), 64u * 1024);
        std::ifstream in(file, std::ios::binary);
        for (std::string line; std::getline(in, line); ++count) EXPECT_TRUE(std::regex_match(line, whole)) << line;
    }
    EXPECT_GT(count, 0u);
    EXPECT_EQ(std::filesystem::path(path).filename(), "VELDORINCTL-7.log");
    EXPECT_EQ(std::filesystem::path(earlier).filename(), "VELDORINCTL-7.1.log");
    std::filesystem::remove_all(folder);
}

}  // namespace
