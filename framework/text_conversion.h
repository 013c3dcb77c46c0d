// Text at the script boundary. Scripts hand the control UTF-16 automation
// strings; the control's methods work on 8-bit text. Arguments are converted
// with the system ANSI code page, results with the calling thread's.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <optional>
#include <string>
#include <string_view>

#include "win32/unique_bstr.h"
#include "win32/utf8_text.h"

// `text` as 8-bit text in CP_ACP, converted without flags and without a
// replacement character of our own (the code page's default stands in for
// characters it cannot hold). A null BSTR gives nothing, so the method sees
// a null pointer; an empty one gives empty text. Text past an embedded zero
// is kept here, though a method reading it as zero-terminated stops there.
std::optional<std::string> BstrToAnsiText(BSTR text);

// A new automation string holding `text` converted from CP_THREAD_ACP: the
// length is asked for first, then exactly that many units are allocated and
// filled. Empty text gives an empty string, never a null one. Throws
// std::bad_alloc (AfxThrowMemoryException) when the string cannot be allocated.
UniqueBstr AnsiTextToBstr(std::string_view text);
