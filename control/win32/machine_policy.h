// The machine policy as the registry holds it: the key
// HKLM\SOFTWARE\Policies\VELDORINCTL, read from the 64-bit view whatever
// this build's architecture.
#pragma once

#include <string>

#include "device/exchange_deadline.h"
#include "sitelock/site_policy.h"

struct MachinePolicy {
    SiteLock siteLock;
    ExchangeTimeout exchangeTimeout{ExchangeTimeout::zero()};
};

// Reads the policy now. A key that exists but cannot be read locks every
// page out rather than none.
MachinePolicy ReadMachinePolicy();

// Text of the policy's names for the wide registry functions.
std::wstring WidePolicyName(const char* name);
