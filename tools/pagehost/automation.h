// Text conversions for the automation values pagehost handles.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

#include "win32/unique_variant.h"

namespace pagehost {

std::wstring Widen(std::string_view text, UINT codePage = CP_UTF8);
std::string Narrow(std::wstring_view text, UINT codePage = CP_UTF8);

// The argument's text (numbers and the like converted as JScript would hand
// them over); empty for null, undefined or what does not convert.
std::wstring ArgumentText(const VARIANT& argument);
// The argument as a number, or `fallback`.
int ArgumentNumber(const VARIANT& argument, int fallback = 0);

// Puts text or a number into a result the caller may have asked for.
HRESULT ReturnText(VARIANT* result, std::wstring_view text);
HRESULT ReturnNumber(VARIANT* result, int value);

}  // namespace pagehost
