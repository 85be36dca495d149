#include "win32/Registry.h"

#include "base/Error.h"
#include "win32/Text.h"

namespace {

// A value that grows between the size query and the read gets this many more tries.
constexpr int kMaxReadAttempts = 4;

}  // namespace

TRegKey CreateOrOpenRegKey(HKEY Parent, const std::string& SubKey, REGSAM Access) {
  TRegKey Key;
  if (RegCreateKeyExA(Parent, SubKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access, nullptr,
                      Key.Put(), nullptr) != ERROR_SUCCESS) {
    Key.Release();  // the call may leave garbage in the out value
  }
  return Key;
}

TRegKey OpenRegKey(HKEY Parent, const std::string& SubKey, REGSAM Access) {
  TRegKey Key;
  if (RegOpenKeyExA(Parent, SubKey.c_str(), 0, Access, Key.Put()) != ERROR_SUCCESS) Key.Release();
  return Key;
}

std::string ReadRegString(HKEY Key, const std::string& Name) {
  if (!Key) return {};
  DWORD Type = REG_NONE;
  DWORD Size = 0;
  if (RegQueryValueExA(Key, Name.c_str(), nullptr, &Type, nullptr, &Size) != ERROR_SUCCESS) {
    return {};
  }
  if (Type != REG_SZ && Type != REG_EXPAND_SZ) {
    throw EInstallerError("Invalid data type for '" + AnsiToUtf8(Name) + "'");
  }
  for (int Attempt = 0; Attempt < kMaxReadAttempts; ++Attempt) {
    // One byte more than asked for: stored data need not end in a zero.
    std::string Data(Size + 1, '\0');
    DWORD Read = Size;
    const LONG Status = RegQueryValueExA(Key, Name.c_str(), nullptr, &Type,
                                         reinterpret_cast<BYTE*>(Data.data()), &Read);
    if (Status == ERROR_MORE_DATA) {
      Size = Read;
      continue;
    }
    if (Status != ERROR_SUCCESS) break;
    if (Type != REG_SZ && Type != REG_EXPAND_SZ) {
      throw EInstallerError("Invalid data type for '" + AnsiToUtf8(Name) + "'");
    }
    Data.resize(Read);
    return Data.substr(0, Data.find('\0'));
  }
  throw EInstallerError("Failed to get data for '" + AnsiToUtf8(Name) + "'");
}
