// page_process: a page in a process of its own, for the tests of a reader
// that several processes share. It loads the OCX from its folder, makes one
// control as a container does, and runs the steps of its command line in
// order, printing one line per step:
//
//   open               DevOpen (fails the page when no reader opens)
//   calls N TAG        N DevCalls, each command telling the page and the call;
//                      every answer must be the command's echo
//   async N TAG        the same with DevCallAsync, answers taken as events
//   call TEXT          one DevCall; prints its answer
//   asynccall TEXT     one DevCallAsync, not waited for
//   events N           lets messages flow until N events came; prints them
//   loadca N BYTES     N LoadCAs of a certificate of BYTES pattern bytes;
//                      every one must load (0)
//   close              DevClose
//   sleep MS           lets messages flow for MS milliseconds
//   signal NAME        sets the named event Local\NAME (the test made it)
//   await NAME         waits (30 s at most) until the test sets Local\NAME
//
// The exit code is 0 when every check held, 1 when one did not, 2 for a
// command line it does not understand.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "resources/dispids.h"
#include "tests/win/ocx_client.h"
#include "win32/unique_resource.h"

using namespace veldorinctl::test;

namespace {

std::wstring Widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string Narrowed(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// A command of 100 bytes (two reports) that tells the page and the call.
std::string Command(const std::string& tag, int call) {
    std::vector<uint8_t> bytes(100, 0);
    for (size_t i = 0; i < tag.size() && i < 8; ++i) bytes[i] = static_cast<uint8_t>(tag[i]);
    bytes[8] = static_cast<uint8_t>(call >> 8);
    bytes[9] = static_cast<uint8_t>(call);
    return Base64().Encode(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

class Page {
public:
    Page() : control_(CreateControl(ocx_)) { Connect(control_.Get(), &sink_); }

    bool Run(std::vector<std::string> steps) {
        for (size_t i = 0; i < steps.size(); ++i) {
            const std::string& step = steps[i];
            auto argument = [&](size_t n) { return i + n < steps.size() ? steps[i + n] : std::string(); };
            if (step == "open") {
                handle_ = Call(control_.Get(), DISPID_DEVOPEN)->result->lVal;
                Print("open " + std::to_string(handle_));
                if (handle_ == 0) return Fail();
            } else if (step == "calls" || step == "async") {
                Exchanges(step == "async", std::atoi(argument(1).c_str()), argument(2));
                i += 2;
            } else if (step == "call") {
                Print("answer " + DevCall(argument(1)));
                i += 1;
            } else if (step == "asynccall") {
                DevCallAsync(argument(1));
                i += 1;
            } else if (step == "events") {
                const size_t wanted = seen_ + std::atoi(argument(1).c_str());
                if (!PumpUntil([&] { return log_.Count() >= wanted; }, 60000)) Fail();
                const auto calls = log_.Calls();
                for (; seen_ < wanted && seen_ < calls.size(); ++seen_) Print("event " + Narrowed(calls[seen_].text));
                i += 1;
            } else if (step == "loadca") {
                LoadCAs(std::atoi(argument(1).c_str()), std::atoi(argument(2).c_str()));
                i += 2;
            } else if (step == "close") {
                UniqueVariant handle = Long(handle_);
                Call(control_.Get(), DISPID_DEVCLOSE, {&handle});
                Print("closed");
            } else if (step == "sleep") {
                PumpUntil([] { return false; }, std::atoi(argument(1).c_str()));
                i += 1;
            } else if (step == "signal" || step == "await") {
                const UniqueHandle event(
                    ::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, (L"Local\\" + Widened(argument(1))).c_str()));
                const bool done = step == "signal"
                                      ? event && ::SetEvent(event.get())
                                      : event && ::WaitForSingleObject(event.get(), 30000) == WAIT_OBJECT_0;
                if (!done) return Fail();
                i += 1;
            } else {
                std::fprintf(stderr, "page_process: what is '%s'?\n", step.c_str());
                std::exit(2);
            }
        }
        return failed_ == 0;
    }

private:
    std::string DevCall(const std::string& command) {
        UniqueVariant text = Text(Widened(command).c_str());
        return Narrowed(Call(control_.Get(), DISPID_DEVCALL, {&text})->Text());
    }

    void DevCallAsync(const std::string& command) {
        UniqueVariant text = Text(Widened(command).c_str());
        Call(control_.Get(), DISPID_DEVCALLASYNC, {&text});
    }

    void Exchanges(bool async, int count, const std::string& tag) {
        std::vector<std::string> answers;
        if (async) {
            for (int n = 0; n < count; ++n) DevCallAsync(Command(tag, n));
            const size_t wanted = seen_ + count;
            PumpUntil([&] { return log_.Count() >= wanted; }, 120000);
            const auto calls = log_.Calls();
            for (; seen_ < wanted && seen_ < calls.size(); ++seen_) answers.push_back(Narrowed(calls[seen_].text));
        } else {
            for (int n = 0; n < count; ++n) answers.push_back(DevCall(Command(tag, n)));
        }
        int foreign = 0, empty = 0;
        for (size_t n = 0; n < answers.size(); ++n) {
            if (answers[n].empty())
                ++empty;
            else if (answers[n] != Command(tag, static_cast<int>(n)))
                ++foreign;
        }
        const int missing = count - static_cast<int>(answers.size());
        Print(std::string(async ? "async " : "calls ") + std::to_string(count) + " foreign " + std::to_string(foreign) +
              " empty " + std::to_string(empty) + " missing " + std::to_string(missing));
        failed_ += foreign + empty + missing;
    }

    void LoadCAs(int count, int bytes) {
        std::vector<uint8_t> certificate(bytes);
        for (int i = 0; i < bytes; ++i) certificate[i] = static_cast<uint8_t>(i % 251);
        const std::wstring text = Widened(Base64().Encode(certificate.data(), static_cast<uint32_t>(bytes)));
        std::string results;
        for (int n = 0; n < count; ++n) {
            UniqueVariant flag = Long(1);
            UniqueVariant data = Text(text.c_str());
            const long result = Call(control_.Get(), DISPID_LOADCA, {&flag, &data})->result->lVal;
            results += " " + std::to_string(result);
            failed_ += result != 0;
        }
        Print("loadca" + results);
    }

    void Print(const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }

    bool Fail() {
        ++failed_;
        return false;
    }

    Apartment apartment_;
    LoadedOcx ocx_;
    SinkLog log_;
    EventSink sink_{"page", log_};  // outlives the control
    ComPtr<IDispatch> control_;
    long handle_ = 0;
    size_t seen_ = 0;  // events printed or checked so far
    int failed_ = 0;
};

}  // namespace

int main(int count, char** arguments) {
    std::vector<std::string> steps(arguments + 1, arguments + count);
    bool ok = false;
    {
        Page page;
        ok = page.Run(std::move(steps));
    }
    return ok ? 0 : 1;
}
