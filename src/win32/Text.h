#pragma once
// Conversions between the program's three text forms: ANSI (the thread's code page, 949 on the
// systems we ship to) for platform A functions, UTF-16 for W functions, UTF-8 for our own literals
// and error messages.

#include <string>
#include <string_view>

std::wstring AnsiToWide(std::string_view Text);
std::string WideToAnsi(std::wstring_view Text);
std::wstring Utf8ToWide(std::string_view Text);
std::string WideToUtf8(std::wstring_view Text);
std::string AnsiToUtf8(std::string_view Text);
std::string Utf8ToAnsi(std::string_view Text);

// The portable path mappings work on char16_t; on Windows that is wchar_t's representation.
std::u16string AsU16(std::wstring_view Text);
std::wstring AsWide(std::u16string_view Text);
