#include "app/License.h"

#include <windows.h>

#include <string_view>

#include "app/res/ResourceIds.h"
#include "win32/Text.h"

std::wstring LicenseText() {
  const HMODULE Module = GetModuleHandleW(nullptr);
  HRSRC Info = FindResourceW(Module, MAKEINTRESOURCEW(IDR_LICENSE), RT_RCDATA);
  HGLOBAL Data = Info ? LoadResource(Module, Info) : nullptr;
  const char* Bytes = Data ? static_cast<const char*>(LockResource(Data)) : nullptr;
  if (!Bytes) return {};
  std::string_view Text(Bytes, SizeofResource(Module, Info));
  // The file may come with LF or CR LF line ends depending on the checkout.
  std::string Lines;
  Lines.reserve(Text.size() + Text.size() / 32);
  for (char c : Text) {
    if (c == '\r') continue;
    if (c == '\n') Lines += '\r';
    Lines += c;
  }
  // No line break after the last line: the box then holds exactly the file's lines.
  if (Lines.size() >= 2 && Lines.ends_with("\r\n")) Lines.resize(Lines.size() - 2);
  return Utf8ToWide(Lines);
}
