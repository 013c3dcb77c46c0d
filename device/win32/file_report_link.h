// A report channel over a HID interface opened for overlapped I/O. Callers
// still see blocking reads and writes; overlapped I/O is what lets Cancel()
// end a read that another thread is waiting in, and a deadline end a
// transfer that the reader never completes.
#pragma once

#include <windows.h>

#include <atomic>

#include "device/report_link.h"
#include "win32/unique_resource.h"

class FileReportLink final : public ReportLink {
public:
    explicit FileReportLink(UniqueFileHandle file);

    bool WriteReport(const uint8_t* report, size_t length) override;
    bool ReadReport(uint8_t* report, size_t length) override;
    // The HID class driver's input queue for this handle (HidD_FlushQueue).
    void DiscardQueued() override;
    void Cancel() override;

private:
    enum class Direction { Read, Write };
    bool Transfer(Direction direction, uint8_t* buffer, DWORD length);

    UniqueFileHandle file_;
    std::atomic<bool> cancelled_{false};
};

// Opens a HID interface path the way the link needs it: read and write
// access, shared, overlapped.
UniqueFileHandle OpenHidInterface(const char* devicePath);
