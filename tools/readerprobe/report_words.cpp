#include "tools/readerprobe/report_writers.h"

std::string TraceLevelText(const PolicyValue& value) {
    if (value.kind == PolicyValue::Kind::Absent) return "absent: no trace";
    if (value.kind != PolicyValue::Kind::Number) return "not a REG_DWORD: no trace";
    switch (value.number) {
        case 0:
            return "0: no trace";
        case 1:
            return "1: errors and refusals";
        case 2:
            return "2: also every method call";
        case 3:
            return "3: also the bytes exchanged";
    }
    return std::to_string(value.number) + ": not 0 to 3, no trace";
}

std::string TimeLimitText(const PolicyValue& value) {
    if (value.kind == PolicyValue::Kind::Absent) return "absent: no time limit";
    if (value.kind != PolicyValue::Kind::Number) return "not a REG_DWORD: no time limit";
    if (value.number == 0) return "0: no time limit";
    return std::to_string(value.number) + " s for each exchange";
}
