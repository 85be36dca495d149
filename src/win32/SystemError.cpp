#include "win32/SystemError.h"

#include <windows.h>

#include "win32/Text.h"

std::string SysErrorMessage(unsigned long Code) {
  wchar_t* Buffer = nullptr;
  const DWORD Length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, Code, 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
  std::wstring Text(Buffer ? Buffer : L"", Length);
  LocalFree(Buffer);
  while (!Text.empty() && (Text.back() == L'\r' || Text.back() == L'\n' || Text.back() == L' '))
    Text.pop_back();
  if (Text.empty()) return "System error " + std::to_string(Code);
  return WideToUtf8(Text);
}
