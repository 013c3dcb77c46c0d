#include "trace/win32/process_trace.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>
#include <mutex>

#include "trace/win32/win32_trace_files.h"
#include "win32/utf8_text.h"

namespace {

class ProcessTrace {
public:
    void Write(const std::string& folder, std::string_view line) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!file_ || folder != folder_) {
            const DWORD process = ::GetCurrentProcessId();
            file_ = std::make_unique<RollingTraceFile>(files_, folder + "\\" + TraceFileName(process),
                                                       folder + "\\" + EarlierTraceFileName(process));
            folder_ = folder;
        }
        file_->Write(line);
    }

private:
    Win32TraceFiles files_;
    std::mutex mutex_;
    std::string folder_;
    std::unique_ptr<RollingTraceFile> file_;
};

ProcessTrace& TheProcessTrace() {
    static ProcessTrace trace;
    return trace;
}

}  // namespace

std::string DefaultTraceFolder() {
    PWSTR localLow = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, KF_FLAG_DEFAULT, nullptr, &localLow)))
        folder = WideToUtf8(localLow) + "\\VELDORINCTL";
    ::CoTaskMemFree(localLow);  // owed even when the call failed
    return folder;
}

void WriteProcessTrace(const std::string& folder, std::string_view line) noexcept {
    if (folder.empty()) return;
    try {
        TheProcessTrace().Write(folder, line);
    } catch (...) {
        // Out of memory: the line is lost.
    }
}
