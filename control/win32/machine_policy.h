// The machine policy as the registry holds it: the key
// HKLM\SOFTWARE\Policies\VELDORINCTL, read from the 64-bit view whatever
// this build's architecture. What the values mean is portable
// (sitelock/site_policy.h).
#pragma once

#include <string>

#include "sitelock/site_policy.h"

// Reads every value the control knows (sitelock/policy_names.h) now.
PolicyValues ReadMachinePolicyValues();

// Reads the policy now and gives what it means.
MachinePolicy ReadMachinePolicy();

// Text of the policy's names for the wide registry functions.
std::wstring WidePolicyName(const char* name);
