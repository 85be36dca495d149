#include "win32/Text.h"

#include <windows.h>

namespace {

std::wstring ToWide(UINT CodePage, std::string_view Text) {
  if (Text.empty()) return {};
  const int Length =
      MultiByteToWideChar(CodePage, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Result(static_cast<size_t>(Length), L'\0');
  MultiByteToWideChar(CodePage, 0, Text.data(), static_cast<int>(Text.size()), Result.data(),
                      Length);
  return Result;
}

std::string FromWide(UINT CodePage, std::wstring_view Text) {
  if (Text.empty()) return {};
  const int Length = WideCharToMultiByte(CodePage, 0, Text.data(), static_cast<int>(Text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string Result(static_cast<size_t>(Length), '\0');
  WideCharToMultiByte(CodePage, 0, Text.data(), static_cast<int>(Text.size()), Result.data(),
                      Length, nullptr, nullptr);
  return Result;
}

}  // namespace

std::wstring AnsiToWide(std::string_view Text) { return ToWide(CP_ACP, Text); }
std::string WideToAnsi(std::wstring_view Text) { return FromWide(CP_ACP, Text); }
std::wstring Utf8ToWide(std::string_view Text) { return ToWide(CP_UTF8, Text); }
std::string WideToUtf8(std::wstring_view Text) { return FromWide(CP_UTF8, Text); }
std::string AnsiToUtf8(std::string_view Text) { return WideToUtf8(AnsiToWide(Text)); }
std::string Utf8ToAnsi(std::string_view Text) { return WideToAnsi(Utf8ToWide(Text)); }

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::u16string AsU16(std::wstring_view Text) {
  return std::u16string(reinterpret_cast<const char16_t*>(Text.data()), Text.size());
}

std::wstring AsWide(std::u16string_view Text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(Text.data()), Text.size());
}
