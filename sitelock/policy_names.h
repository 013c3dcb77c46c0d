// The machine policy that governs the control, one definition for the code,
// its tests, its tools and the Group Policy templates (whose test reads this
// list). It lives under HKEY_LOCAL_MACHINE and is read from the 64-bit
// registry view by 32-bit and 64-bit builds alike, so that one policy
// governs both.
#pragma once

inline constexpr char kPolicyKeyPath[] = "SOFTWARE\\Policies\\VELDORINCTL";
// REG_MULTI_SZ: the sites whose pages may use the readers.
inline constexpr char kAllowedSitesValue[] = "AllowedSites";
// REG_DWORD: seconds one exchange with the reader may take; 0: no limit.
inline constexpr char kExchangeTimeoutValue[] = "ExchangeTimeoutSeconds";
// REG_DWORD: 0 (or absent) no trace, 1 errors and refusals, 2 also every
// method call, 3 also the bytes exchanged.
inline constexpr char kTraceLevelValue[] = "TraceLevel";
// REG_SZ (or REG_EXPAND_SZ): the folder the trace is written to.
inline constexpr char kTraceFolderValue[] = "TraceFolder";

// The registry type the control reads each value as.
enum class PolicyValueType { MultiString, Dword, String };

struct PolicyValueName {
    const char* name;
    PolicyValueType type;
};

// Every value the control reads, in the order the policy is reported.
inline constexpr PolicyValueName kPolicyValues[] = {
    {kAllowedSitesValue, PolicyValueType::MultiString},
    {kExchangeTimeoutValue, PolicyValueType::Dword},
    {kTraceLevelValue, PolicyValueType::Dword},
    {kTraceFolderValue, PolicyValueType::String},
};
