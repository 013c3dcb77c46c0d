#include "trace/win32/win32_trace_files.h"

#include <windows.h>

#include "win32/unique_resource.h"
#include "win32/utf8_text.h"

namespace {

class Win32TraceFile final : public TraceFile {
public:
    explicit Win32TraceFile(UniqueFileHandle file) : file_(std::move(file)) {}

    bool Append(std::string_view bytes) noexcept override {
        DWORD written = 0;
        return ::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }

private:
    UniqueFileHandle file_;
};

// Creates each missing folder on the way to the file; what cannot be
// created shows when the file is opened.
void CreateFoldersFor(const std::wstring& path) {
    for (size_t at = path.find_first_of(L"\\/", 3); at != std::wstring::npos; at = path.find_first_of(L"\\/", at + 1))
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
}

}  // namespace

std::unique_ptr<TraceFile> Win32TraceFiles::OpenForAppend(const std::string& path, uint64_t& size) noexcept {
    try {
        const std::wstring widePath = Utf8ToWide(path);
        CreateFoldersFor(widePath);
        UniqueFileHandle file(::CreateFileW(widePath.c_str(), FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER fileSize{};
        if (!file || !::GetFileSizeEx(file.get(), &fileSize)) return nullptr;
        size = static_cast<uint64_t>(fileSize.QuadPart);
        return std::make_unique<Win32TraceFile>(std::move(file));
    } catch (...) {
        return nullptr;
    }
}

bool Win32TraceFiles::Replace(const std::string& from, const std::string& to) noexcept {
    try {
        return ::MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), MOVEFILE_REPLACE_EXISTING);
    } catch (...) {
        return false;
    }
}
