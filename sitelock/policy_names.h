// The machine policy that governs the control, one definition for the code,
// its tests and its tools. It lives under HKEY_LOCAL_MACHINE and is read
// from the 64-bit registry view by 32-bit and 64-bit builds alike, so that
// one policy governs both.
#pragma once

inline constexpr char kPolicyKeyPath[] = "SOFTWARE\\Policies\\VELDORINCTL";
// REG_MULTI_SZ: the sites whose pages may use the readers.
inline constexpr char kAllowedSitesValue[] = "AllowedSites";
// REG_DWORD: seconds one exchange with the reader may take; 0: no limit.
inline constexpr char kExchangeTimeoutValue[] = "ExchangeTimeoutSeconds";
