// A HidDevice connected over a socket pair to a simulated reader.
#pragma once

#include <memory>

#include "device/hid_device.h"
#include "device/posix/socket_report_link.h"
#include "sim/reader_simulator.h"

struct SimulatedReader {
    std::unique_ptr<ReaderSimulator> simulator;
    HidDevicePtr device;

    SimulatedReader(uint16_t reportLen, Responder responder) {
        auto [host, reader] = MakeSocketLinkPair();
        simulator = std::make_unique<ReaderSimulator>(std::move(reader), reportLen, std::move(responder));
        device = MakeHidDevice("simulated", std::move(host), reportLen);
    }
};
