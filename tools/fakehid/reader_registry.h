// Every simulated reader of the process, in enumeration order, and the
// blocks that the fake SetupAPI and HID functions hand out as handles.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/fakehid/fake_reader.h"

// Blocks given to callers as opaque handles and kept until given back, so
// that a handle can be checked and what was never given back be counted.
template <typename T>
class HandedOut {
public:
    void* Add(T value) {
        auto block = std::make_shared<const T>(std::move(value));
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_.emplace(block.get(), block);
        return const_cast<T*>(block.get());
    }
    std::shared_ptr<const T> Find(const void* handle) const {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = blocks_.find(handle);
        return found == blocks_.end() ? nullptr : found->second;
    }
    bool Remove(const void* handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_.erase(handle) != 0;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_.size();
    }

private:
    mutable std::mutex mutex_;
    std::map<const void*, std::shared_ptr<const T>> blocks_;
};

// A device information set: the interface paths present when it was made.
struct InterfaceList {
    std::vector<std::string> paths;
};

// Preparsed data: what HidP_GetCaps reports.
struct PreparsedBlock {
    uint16_t reportLen;
};

class ReaderRegistry {
public:
    // The process's registry. Its first use attaches the readers of the file
    // named by VELDORINCTL_SIM_CONFIG.
    static ReaderRegistry& Instance();

    // The new reader's id.
    int Attach(ReaderSpec description);
    // Readers of a configuration file, in place of all others: their count,
    // or -N when line N is wrong (-1 also when the file cannot be read).
    int Load(const std::string& path);
    int LoadFromEnvironment();
    void Clear();

    std::shared_ptr<FakeReader> Find(int id) const;
    // The reader whose path `file` was opened on, if it is one of ours.
    std::shared_ptr<FakeReader> FindByHandle(HANDLE file) const;
    std::vector<std::shared_ptr<FakeReader>> Readers() const;

    // What the fake SetupAPI and HID functions have handed out and not yet
    // been given back.
    HandedOut<InterfaceList>& InterfaceSets() { return interfaceSets_; }
    HandedOut<PreparsedBlock>& PreparsedData() { return preparsedData_; }

private:
    HandedOut<InterfaceList> interfaceSets_;
    HandedOut<PreparsedBlock> preparsedData_;

    ReaderRegistry() = default;
    std::string PipeName(int id) const;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeReader>> readers_;
    int lastId_ = 0;
};
