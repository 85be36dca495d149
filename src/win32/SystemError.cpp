#include "win32/SystemError.h"

#include <windows.h>

#include <cstdio>

#include "win32/Text.h"

namespace {

// FormatMessage's text without the trailing line break; "" when the system has none.
std::string SystemText(unsigned long Code) {
  wchar_t* Buffer = nullptr;
  const DWORD Length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Code, 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
  std::wstring Text(Buffer ? Buffer : L"", Length);
  LocalFree(Buffer);
  while (!Text.empty() && (Text.back() == L'\r' || Text.back() == L'\n' || Text.back() == L' '))
    Text.pop_back();
  return WideToUtf8(Text);
}

}  // namespace

std::string SysErrorMessage(unsigned long Code) {
  std::string Text = SystemText(Code);
  if (Text.empty()) return "System error " + std::to_string(Code);
  return Text;
}

std::string OleErrorMessage(long Code) {
  const auto Unsigned = static_cast<unsigned long>(Code);
  std::string Text = SystemText(Unsigned);
  if (Text.empty()) {
    char Fallback[32];
    std::snprintf(Fallback, sizeof Fallback, "OLE error %.8lx", Unsigned);
    Text = Fallback;
  }
  return Text;
}
