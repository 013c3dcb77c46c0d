#include "framework/text_conversion.h"

#include <climits>
#include <stdexcept>

#include "framework/exceptions.h"

namespace {

// Both conversions take int lengths; text that long does not cross the
// script boundary (a BSTR's length is 32-bit, and so is a method's text).
int CheckedLength(size_t length) {
    if (length > static_cast<size_t>(INT_MAX)) throw std::length_error("text too long to convert");
    return static_cast<int>(length);
}

}  // namespace

std::optional<std::string> BstrToAnsiText(BSTR text) {
    if (!text) return std::nullopt;
    const int units = CheckedLength(::SysStringLen(text));
    if (units == 0) return std::string();
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) throw std::runtime_error("the argument cannot be converted to 8-bit text");
    std::string converted(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, units, converted.data(), bytes, nullptr, nullptr);
    return converted;
}

UniqueBstr AnsiTextToBstr(std::string_view text) {
    const int bytes = CheckedLength(text.size());
    const int units = bytes == 0 ? 0 : ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), bytes, nullptr, 0);
    if (bytes != 0 && units <= 0) throw std::runtime_error("the result cannot be converted to a string");
    UniqueBstr result(::SysAllocStringLen(nullptr, static_cast<UINT>(units)));
    if (!result) AfxThrowMemoryException();
    if (units != 0) ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), bytes, result.get(), units);
    return result;
}
