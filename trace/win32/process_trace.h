// The trace file of this process: one per process, named with its id, in
// the folder the policy names or the default one. Every control of the
// process writes to it through one lock, so that lines never interleave.
#pragma once

#include <string>
#include <string_view>

// The default folder, where a low-integrity browser process (Internet
// Explorer's protected mode) may write: VELDORINCTL in the user's LocalLow
// application data. UTF-8; empty when Windows cannot tell where that is.
std::string DefaultTraceFolder();

// Appends one whole line to this process's trace file in `folder` (UTF-8).
// A folder other than the one last written to takes over from it. Every
// failure is dropped.
void WriteProcessTrace(const std::string& folder, std::string_view line) noexcept;
