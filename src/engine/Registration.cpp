#include "engine/Registration.h"

#include <windows.h>

#include "engine/InstalledList.h"
#include "engine/InstalledRecord.h"
#include "engine/ProductFiles.h"
#include "win32/Registry.h"
#include "win32/Text.h"

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr std::string_view kShortcutValue = "Shortcut";
constexpr std::string_view kCompanyKey = "Software\\Harlune";
constexpr std::string_view kDisplayName = "Velquor 매니저";  // UTF-8
constexpr std::string_view kPublisher = "Harlune";

std::wstring Quoted(const std::string& Path) { return L"\"" + AnsiToWide(Path) + L"\""; }

std::wstring InstallDate() {
  SYSTEMTIME Now = {};
  GetLocalTime(&Now);
  wchar_t Date[16] = {};
  swprintf(Date, 16, L"%04u%02u%02u", Now.wYear, Now.wMonth, Now.wDay);
  return Date;
}

}  // namespace

bool WriteUninstallEntry(const TUninstallEntry& Entry) {
  const TRegKey Key =
      CreateOrOpenRegKey(HKEY_LOCAL_MACHINE, std::string(kUninstallKey), KEY_SET_VALUE | kView);
  if (!Key) return false;
  const std::wstring Uninstaller = Quoted(Entry.InstallDir + std::string(kUninstallerName));
  const auto Text = [&](const char* Name, const std::wstring& Value) {
    return WriteRegString(Key.Get(), Name, Value) == ERROR_SUCCESS;
  };
  const auto Number = [&](const char* Name, DWORD Value) {
    return WriteRegDword(Key.Get(), Name, Value) == ERROR_SUCCESS;
  };
  // Rounded up: a product of a few bytes still takes room.
  const DWORD KiB =
      static_cast<DWORD>(std::min<std::uint64_t>((Entry.SizeBytes + 1023) / 1024, MAXDWORD));
  bool Written =
      Text("DisplayName", Utf8ToWide(kDisplayName)) && Text("Publisher", Utf8ToWide(kPublisher)) &&
      Text("DisplayIcon", AnsiToWide(Entry.InstallDir + std::string(kProgramFile))) &&
      Text("InstallLocation", AnsiToWide(Entry.InstallDir)) &&
      Text("UninstallString", Uninstaller + L" /uninstall") &&
      Text("QuietUninstallString", Uninstaller + L" /uninstall /quiet") && Number("NoModify", 1) &&
      Number("NoRepair", 1) && Number("EstimatedSize", KiB) && Text("InstallDate", InstallDate());
  if (Entry.Version.empty())
    RegDeleteValueA(Key.Get(), "DisplayVersion");
  else
    Written = Written && Text("DisplayVersion", AnsiToWide(Entry.Version));
  return Written;
}

bool RemoveUninstallEntry() {
  const LONG Status = DeleteRegTree(HKEY_LOCAL_MACHINE, std::string(kUninstallKey), kView);
  return Status == ERROR_SUCCESS || Status == ERROR_FILE_NOT_FOUND;
}

bool UninstallEntryExists() {
  return static_cast<bool>(
      OpenRegKey(HKEY_LOCAL_MACHINE, std::string(kUninstallKey), KEY_READ | kView));
}

bool KeepShortcutPath(const std::string& LinkPath) {
  const TRegKey Key =
      CreateOrOpenRegKey(HKEY_LOCAL_MACHINE, std::string(kProductKey), KEY_SET_VALUE | kView);
  return Key && WriteRegString(Key.Get(), std::string(kShortcutValue), AnsiToWide(LinkPath)) ==
                    ERROR_SUCCESS;
}

std::string KeptShortcutPath() {
  const TRegKey Key = OpenRegKey(HKEY_LOCAL_MACHINE, std::string(kProductKey), KEY_READ | kView);
  std::string Path;
  QueryRegString(Key.Get(), std::string(kShortcutValue), Path);
  return Path;
}

bool RemoveProductKey() {
  const LONG Status = DeleteRegTree(HKEY_LOCAL_MACHINE, std::string(kProductKey), kView);
  // The company's key goes only when nothing else of it is left: deleting a key takes its values
  // with it, and another product of the company may keep some there.
  const TRegKey Company =
      OpenRegKey(HKEY_LOCAL_MACHINE, std::string(kCompanyKey), KEY_QUERY_VALUE | kView);
  DWORD SubKeys = 1, Values = 1;
  if (Company &&
      RegQueryInfoKeyA(Company.Get(), nullptr, nullptr, nullptr, &SubKeys, nullptr, nullptr,
                       &Values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
      SubKeys == 0 && Values == 0)
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, std::string(kCompanyKey).c_str(), kView, 0);
  return Status == ERROR_SUCCESS || Status == ERROR_FILE_NOT_FOUND;
}
