// Simulated readers as the configuration text describes them (the format is
// documented in veldorinsim.h).
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/responders.h"

// What one connection to a reader runs: its responder, and the CA readers
// inside it, whose findings outlive the connection.
struct Behaviour {
    Responder responder;
    std::vector<std::shared_ptr<sim::CaReader>> caReaders;
};

// Makes the behaviour for one new connection, with state of its own.
using BehaviourFactory = std::function<Behaviour()>;

struct ReaderSpec {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t reportLen = 0;
    bool openable = true;
    BehaviourFactory behaviour;  // unset for a reader that cannot be opened, or a shared one
    // Set for a reader that another process serves to every process (the
    // shared reader server): the name it is served under.
    std::string sharedName;
};

// One line: a reader, nothing (blank or comment: no reader, no error), or
// an error saying what is wrong.
struct ParsedLine {
    std::optional<ReaderSpec> reader;
    std::string error;
};
ParsedLine ParseReaderLine(std::string_view line);

// A whole file: its readers, or the first error, with its line number.
struct ParsedConfig {
    std::vector<ReaderSpec> readers;
    size_t errorLine = 0;  // 1-based; 0 when there is no error
    std::string error;
};
ParsedConfig ParseReaderConfig(std::istream& text);
