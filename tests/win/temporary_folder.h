// A folder of the test's own under the temporary folder, removed with what
// it holds when the test ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace veldorinctl::test {

class TemporaryFolder {
public:
    TemporaryFolder() {
        static int made = 0;
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + L"veldorinctl-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(++made);
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TemporaryFolder() {
        for (const std::wstring& name : Files()) ::DeleteFileW((path_ + L"\\" + name).c_str());
        ::RemoveDirectoryW(path_.c_str());
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::wstring& Path() const { return path_; }

    // The names of what it holds, "." and ".." left out.
    std::vector<std::wstring> Files() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") names.push_back(name);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return names;
    }

private:
    std::wstring path_;
};

}  // namespace veldorinctl::test
