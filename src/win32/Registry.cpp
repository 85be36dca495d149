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

TRegKey OpenRegKey(HKEY Parent, const std::string& SubKey, REGSAM Access, LONG* Status) {
  TRegKey Key;
  const LONG Opened = RegOpenKeyExA(Parent, SubKey.c_str(), 0, Access, Key.Put());
  if (Opened != ERROR_SUCCESS) Key.Release();
  if (Status) *Status = Opened;
  return Key;
}

namespace {

// The data of a string value, cut at its first zero. SizeKnown tells whether the value's type
// and size could be read, for the callers that tell that failure from a later one.
LONG ReadString(HKEY Key, const std::string& Name, std::string& Data, bool& SizeKnown) {
  Data.clear();
  SizeKnown = false;
  if (!Key) return ERROR_FILE_NOT_FOUND;
  DWORD Type = REG_NONE;
  DWORD Size = 0;
  const LONG Sized = RegQueryValueExA(Key, Name.c_str(), nullptr, &Type, nullptr, &Size);
  if (Sized != ERROR_SUCCESS) return Sized;
  SizeKnown = true;
  if (Type != REG_SZ && Type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
  for (int Attempt = 0; Attempt < kMaxReadAttempts; ++Attempt) {
    // One byte more than asked for: stored data need not end in a zero.
    std::string Buffer(Size + 1, '\0');
    DWORD Read = Size;
    const LONG Status = RegQueryValueExA(Key, Name.c_str(), nullptr, &Type,
                                         reinterpret_cast<BYTE*>(Buffer.data()), &Read);
    if (Status == ERROR_MORE_DATA) {
      Size = Read;
      continue;
    }
    if (Status != ERROR_SUCCESS) return Status;
    if (Type != REG_SZ && Type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    Buffer.resize(Read);
    Data = Buffer.substr(0, Buffer.find('\0'));
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

}  // namespace

std::string ReadRegString(HKEY Key, const std::string& Name) {
  std::string Data;
  bool SizeKnown = false;
  const LONG Status = ReadString(Key, Name, Data, SizeKnown);
  if (Status == ERROR_SUCCESS || !SizeKnown) return Data;
  if (Status == ERROR_INVALID_DATATYPE)
    throw EInstallerError("Invalid data type for '" + AnsiToUtf8(Name) + "'");
  throw EInstallerError("Failed to get data for '" + AnsiToUtf8(Name) + "'");
}

LONG QueryRegString(HKEY Key, const std::string& Name, std::string& Data) {
  bool SizeKnown = false;
  return ReadString(Key, Name, Data, SizeKnown);
}

LONG WriteRegString(HKEY Key, const std::string& Name, const std::string& Data) {
  return RegSetValueExA(Key, Name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Data.c_str()),
                        static_cast<DWORD>(Data.size() + 1));
}

LONG WriteRegString(HKEY Key, const std::string& Name, const std::wstring& Data) {
  return RegSetValueExW(Key, AnsiToWide(Name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(Data.c_str()),
                        static_cast<DWORD>((Data.size() + 1) * sizeof(wchar_t)));
}

LONG WriteRegDword(HKEY Key, const std::string& Name, DWORD Data) {
  return RegSetValueExA(Key, Name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Data),
                        sizeof Data);
}

LONG DeleteRegTree(HKEY Parent, const std::string& SubKey, REGSAM View) {
  LONG Opened = ERROR_SUCCESS;
  TRegKey Key = OpenRegKey(Parent, SubKey, KEY_READ | KEY_WRITE | DELETE | View, &Opened);
  if (!Key) return Opened;
  const LONG Emptied = RegDeleteTreeA(Key.Get(), nullptr);
  Key.Reset();
  if (Emptied != ERROR_SUCCESS) return Emptied;
  return RegDeleteKeyExA(Parent, SubKey.c_str(), View, 0);
}

LONG QueryRegMultiString(HKEY Key, const std::string& Name, std::u16string& Data) {
  Data.clear();
  if (!Key) return ERROR_FILE_NOT_FOUND;
  const std::wstring WideName = AnsiToWide(Name);
  for (int Attempt = 0; Attempt < kMaxReadAttempts; ++Attempt) {
    DWORD Type = REG_NONE, Size = 0;
    LONG Status = RegQueryValueExW(Key, WideName.c_str(), nullptr, &Type, nullptr, &Size);
    if (Status != ERROR_SUCCESS) return Status;
    if (Type != REG_MULTI_SZ) return ERROR_INVALID_DATATYPE;
    std::u16string Read((Size + 1) / sizeof(char16_t), u'\0');
    Status = RegQueryValueExW(Key, WideName.c_str(), nullptr, &Type,
                              reinterpret_cast<BYTE*>(Read.data()), &Size);
    if (Status == ERROR_MORE_DATA) continue;
    if (Status != ERROR_SUCCESS) return Status;
    if (Type != REG_MULTI_SZ) return ERROR_INVALID_DATATYPE;
    // An odd byte at the end is no code unit: such a value does not end in a NUL.
    Read.resize(Size / sizeof(char16_t));
    if (Size % sizeof(char16_t) != 0) Read.push_back(u'?');
    Data = std::move(Read);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

LONG WriteRegMultiString(HKEY Key, const std::string& Name, std::u16string_view Data) {
  return RegSetValueExW(Key, AnsiToWide(Name).c_str(), 0, REG_MULTI_SZ,
                        reinterpret_cast<const BYTE*>(Data.data()),
                        static_cast<DWORD>(Data.size() * sizeof(char16_t)));
}
