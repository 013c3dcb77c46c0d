#include "tests/win/child_process.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/win/ocx_client.h"

namespace veldorinctl::test {

namespace {

std::wstring Quoted(const std::string& argument) {
    std::wstring quoted = L"\"";
    for (char c : argument) {
        if (c == '"') quoted += L'\\';
        quoted += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return quoted + L"\"";
}

std::wstring TemporaryFile() {
    wchar_t folder[MAX_PATH] = {};
    wchar_t path[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"vpg", 0, path);
    return path;
}

}  // namespace

ChildProcess::ChildProcess(const wchar_t* program, const std::vector<std::string>& arguments)
    : outputPath_(TemporaryFile()) {
    std::wstring line = L"\"" + BesideTestProgram(program) + L"\"";
    for (const std::string& argument : arguments) line += L" " + Quoted(argument);

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueFileHandle output(::CreateFileW(outputPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) return;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created))
        return;
    ::CloseHandle(created.hThread);
    process_.reset(created.hProcess);
}

ChildProcess::~ChildProcess() {
    Kill();
    ::DeleteFileW(outputPath_.c_str());
}

std::optional<DWORD> ChildProcess::Wait(DWORD timeoutMs) {
    if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProcess::Kill() {
    if (!process_ || ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) return;
    ::TerminateProcess(process_.get(), 99);
    ::WaitForSingleObject(process_.get(), 10000);
}

std::string ChildProcess::Output() const {
    std::ifstream file{std::filesystem::path(outputPath_)};
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

SessionEvent::SessionEvent(const std::string& name)
    : event_(::CreateEventW(nullptr, TRUE, FALSE, (L"Local\\" + std::wstring(name.begin(), name.end())).c_str())) {
    ::ResetEvent(event_.get());
}

}  // namespace veldorinctl::test
