#include "tools/fakehid/reader_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>

#include "sim/win32/shared_reader_protocol.h"
#include "win32/wine_path.h"

namespace {

constexpr const char* kConfigVariable = "VELDORINCTL_SIM_CONFIG";

// A Unix path under Wine; on Windows the path is taken as it is.
std::filesystem::path ConfigPath(const std::string& path) {
    if (auto converted = WineWindowsPath(path)) return std::filesystem::path(*converted);
    return std::filesystem::path(path);
}

}  // namespace

ReaderRegistry& ReaderRegistry::Instance() {
    // Never destroyed: by the time a DLL's statics are destroyed at process
    // exit the readers' threads are already gone, and waiting for them under
    // the loader lock could hang the exit.
    static ReaderRegistry* const registry = [] {
        auto* created = new ReaderRegistry;
        created->LoadFromEnvironment();
        return created;
    }();
    return *registry;
}

std::string ReaderRegistry::PipeName(int id) const {
    // Unique per process, so that programs using the fakes at the same time
    // never meet each other's readers.
    return "veldorinsim-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(id);
}

int ReaderRegistry::Attach(ReaderSpec description) {
    int id = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = ++lastId_;
    }
    // A shared reader is served at its name's path by the shared reader
    // server; the others here, at a path of this process.
    std::string path = description.sharedName.empty() ? "\\\\.\\pipe\\" + PipeName(id)
                                                      : shared_reader::DevicePath(description.sharedName);
    auto reader = std::make_shared<FakeReader>(id, std::move(description), std::move(path));
    std::lock_guard<std::mutex> lock(mutex_);
    readers_.push_back(std::move(reader));
    return id;
}

int ReaderRegistry::Load(const std::string& path) {
    std::ifstream file(ConfigPath(path));
    if (!file) {
        std::fprintf(stderr, "veldorinsim: cannot read %s\n", path.c_str());
        return -1;
    }
    ParsedConfig config = ParseReaderConfig(file);
    if (config.errorLine != 0) {
        std::fprintf(stderr, "veldorinsim: %s:%zu: %s\n", path.c_str(), config.errorLine, config.error.c_str());
        return -static_cast<int>(config.errorLine);
    }
    Clear();
    for (ReaderSpec& description : config.readers) Attach(std::move(description));
    return static_cast<int>(config.readers.size());
}

int ReaderRegistry::LoadFromEnvironment() {
    const char* path = std::getenv(kConfigVariable);
    if (path == nullptr || *path == '\0') {
        Clear();
        return 0;
    }
    return Load(path);
}

void ReaderRegistry::Clear() {
    std::vector<std::shared_ptr<FakeReader>> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone.swap(readers_);
    }
    // Unplugging waits for the readers' threads: not under the lock.
    for (const auto& reader : gone) reader->Unplug();
}

std::shared_ptr<FakeReader> ReaderRegistry::Find(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& reader : readers_)
        if (reader->Id() == id) return reader;
    return nullptr;
}

std::shared_ptr<FakeReader> ReaderRegistry::FindByHandle(HANDLE file) const {
    // The pipe's name, as the file system sees it: its path without
    // "\\.\pipe" ("\veldorinsim-<pid>-<id>", "\veldorinsim-shared-<name>").
    alignas(FILE_NAME_INFO) char buffer[sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(WCHAR)]{};
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer);
    if (!::GetFileInformationByHandleEx(file, FileNameInfo, info, sizeof(buffer) - sizeof(WCHAR))) return nullptr;
    const std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
    constexpr size_t kPipeFolder = sizeof("\\\\.\\pipe") - 1;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& reader : readers_) {
        const std::string expected = reader->DevicePath().substr(kPipeFolder);
        if (name == std::wstring(expected.begin(), expected.end())) return reader;
    }
    return nullptr;
}

std::vector<std::shared_ptr<FakeReader>> ReaderRegistry::Readers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return readers_;
}
