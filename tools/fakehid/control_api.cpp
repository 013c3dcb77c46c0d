// The control API of veldorinsim.h: what tests and the page container use
// to attach, unplug and inspect the simulated readers.
#include "tools/fakehid/veldorinsim.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "win32/entry_barrier.h"
#include "tools/fakehid/reader_registry.h"

namespace {

// How often the waits below look again. The readers' threads do not report
// to the control API, and a test waits at most a few milliseconds longer.
constexpr auto kPollInterval = std::chrono::milliseconds(2);

template <typename Condition>
bool WaitUntil(int timeoutMs, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

int CopyText(const std::string& text, char* buffer, int capacity) {
    if (buffer == nullptr || capacity < 0 || text.size() >= static_cast<size_t>(capacity)) return -1;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

size_t OpenHandles() {
    size_t open = 0;
    for (const auto& reader : ReaderRegistry::Instance().Readers()) open += reader->OpenHandles();
    return open;
}

// Runs `body` on the reader, or answers `unknown` when there is none.
template <typename Body>
int WithReader(int id, int unknown, Body&& body) noexcept {
    return ApiEntry<int>(unknown, ERROR_NOT_ENOUGH_MEMORY, [&] {
        const auto reader = ReaderRegistry::Instance().Find(id);
        return reader ? body(*reader) : unknown;
    });
}

}  // namespace

extern "C" int VeldorinSim_Attach(const char* line) {
    return ApiEntry<int>(0, ERROR_NOT_ENOUGH_MEMORY, [&] {
        if (line == nullptr) return 0;
        ParsedLine parsed = ParseReaderLine(line);
        return parsed.reader ? ReaderRegistry::Instance().Attach(std::move(*parsed.reader)) : 0;
    });
}

extern "C" int VeldorinSim_LoadConfig(const char* path) {
    return ApiEntry<int>(-1, ERROR_NOT_ENOUGH_MEMORY,
                         [&] { return path ? ReaderRegistry::Instance().Load(path) : -1; });
}

extern "C" int VeldorinSim_Reset(void) {
    return ApiEntry<int>(-1, ERROR_NOT_ENOUGH_MEMORY, [] { return ReaderRegistry::Instance().LoadFromEnvironment(); });
}

extern "C" void VeldorinSim_Clear(void) {
    ApiEntry<int>(0, ERROR_NOT_ENOUGH_MEMORY, [] {
        ReaderRegistry::Instance().Clear();
        return 0;
    });
}

extern "C" int VeldorinSim_Unplug(int id) {
    return WithReader(id, 0, [](FakeReader& reader) { return reader.Unplug() ? 1 : 0; });
}

extern "C" int VeldorinSim_Present(int id) {
    return WithReader(id, 0, [](FakeReader& reader) { return reader.Present() ? 1 : 0; });
}

extern "C" int VeldorinSim_DevicePath(int id, char* buffer, int capacity) {
    return WithReader(id, -1, [&](FakeReader& reader) { return CopyText(reader.DevicePath(), buffer, capacity); });
}

extern "C" int VeldorinSim_ReceivedCount(int id) {
    return WithReader(id, -1, [](FakeReader& reader) { return static_cast<int>(reader.ReceivedCount()); });
}

extern "C" int VeldorinSim_Received(int id, int index, unsigned char* buffer, int capacity) {
    return WithReader(id, -1, [&](FakeReader& reader) {
        if (index < 0) return -1;
        const std::optional<Bytes> message = reader.ReceivedMessage(static_cast<size_t>(index));
        if (!message || buffer == nullptr || capacity < 0 || message->size() > static_cast<size_t>(capacity)) return -1;
        std::memcpy(buffer, message->data(), message->size());
        return static_cast<int>(message->size());
    });
}

extern "C" int VeldorinSim_WaitForReceived(int id, int count, int timeoutMs) {
    return WithReader(id, 0, [&](FakeReader& reader) {
        return WaitUntil(timeoutMs, [&] { return reader.ReceivedCount() >= static_cast<size_t>(count); }) ? 1 : 0;
    });
}

namespace {

int CopyLines(const std::vector<std::string>& lines, char* buffer, int capacity) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return CopyText(text, buffer, capacity);
}

}  // namespace

extern "C" int VeldorinSim_Problems(int id, char* buffer, int capacity) {
    return WithReader(id, -1, [&](FakeReader& reader) { return CopyLines(reader.Problems(), buffer, capacity); });
}

extern "C" int VeldorinSim_Violations(int id, char* buffer, int capacity) {
    return WithReader(id, -1, [&](FakeReader& reader) { return CopyLines(reader.Violations(), buffer, capacity); });
}

extern "C" int VeldorinSim_Connections(int id) {
    return WithReader(id, -1, [](FakeReader& reader) { return static_cast<int>(reader.Connections()); });
}

extern "C" int VeldorinSim_InputBuffers(int id) {
    return WithReader(id, -1, [](FakeReader& reader) { return static_cast<int>(reader.InputBuffers()); });
}

extern "C" int VeldorinSim_OpenHandles(void) {
    return ApiEntry<int>(-1, ERROR_NOT_ENOUGH_MEMORY, [] { return static_cast<int>(OpenHandles()); });
}

extern "C" int VeldorinSim_WaitForOpenHandles(int count, int timeoutMs) {
    return ApiEntry<int>(0, ERROR_NOT_ENOUGH_MEMORY, [&] {
        return WaitUntil(timeoutMs, [&] { return OpenHandles() == static_cast<size_t>(count); }) ? 1 : 0;
    });
}

extern "C" int VeldorinSim_OpenDeviceInfoSets(void) {
    return ApiEntry<int>(-1, ERROR_NOT_ENOUGH_MEMORY,
                         [] { return static_cast<int>(ReaderRegistry::Instance().InterfaceSets().Count()); });
}

extern "C" int VeldorinSim_OpenPreparsedData(void) {
    return ApiEntry<int>(-1, ERROR_NOT_ENOUGH_MEMORY,
                         [] { return static_cast<int>(ReaderRegistry::Instance().PreparsedData().Count()); });
}
