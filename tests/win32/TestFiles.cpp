#include "win32/TestFiles.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#include <cstring>
#include <stdexcept>

#include "win32/Handle.h"
#include "win32/Text.h"

// A path of any length: past MAX_PATH only its "\\?\" form reaches the file.
std::wstring AnyLength(const std::string& Path) {
  const std::wstring Wide = AnsiToWide(Path);
  if (Wide.size() < MAX_PATH - 12 || Wide.starts_with(L"\\\\")) return Wide;
  return L"\\\\?\\" + Wide;
}

void WriteBytes(const std::string& Path, std::string_view Bytes) {
  HANDLE f = CreateFileW(AnyLength(Path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + Path);
  DWORD Written = 0;
  const BOOL Ok = WriteFile(f, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr);
  CloseHandle(f);
  if (!Ok || Written != Bytes.size()) throw std::runtime_error("cannot write " + Path);
}

std::string ReadBytes(const std::string& Path) {
  HANDLE f = CreateFileW(AnyLength(Path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + Path);
  std::string Bytes;
  char Chunk[65536];
  DWORD Read = 0;
  while (ReadFile(f, Chunk, sizeof Chunk, &Read, nullptr) && Read > 0) Bytes.append(Chunk, Read);
  CloseHandle(f);
  return Bytes;
}

bool FileExistsA(const std::string& Path) {
  const DWORD a = GetFileAttributesW(AnyLength(Path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string TempPathA() {
  char Buffer[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, Buffer);
  return Buffer;
}

TTestFolder::TTestFolder() {
  static unsigned Counter = 0;
  const std::string Base = TempPathA() + "vtest-" + std::to_string(GetCurrentProcessId()) + "-";
  do {
    Path_ = Base + std::to_string(++Counter) + "\\";
  } while (!CreateDirectoryA(Path_.c_str(), nullptr));
}

TTestFolder::~TTestFolder() { RemoveTree(Path_); }

void RemoveTree(const std::string& Folder) {
  // SHFileOperation wants a list ended by two zeros, without the trailing backslash.
  std::string From = Folder;
  while (!From.empty() && From.back() == '\\') From.pop_back();
  From.append(2, '\0');
  SHFILEOPSTRUCTA Op = {};
  Op.wFunc = FO_DELETE;
  Op.pFrom = From.c_str();
  Op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationA(&Op);
}

bool FolderExistsA(const std::string& Path) {
  const DWORD a = GetFileAttributesW(AnyLength(Path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TScopedEnv::TScopedEnv(const char* Name, const char* Value) : Name_(Name) {
  char Buffer[32768];
  const DWORD n = GetEnvironmentVariableA(Name, Buffer, sizeof Buffer);
  HadOld_ = n > 0 && n < sizeof Buffer;
  if (HadOld_) Old_.assign(Buffer, n);
  SetEnvironmentVariableA(Name, Value);
}

TScopedEnv::~TScopedEnv() {
  SetEnvironmentVariableA(Name_.c_str(), HadOld_ ? Old_.c_str() : nullptr);
}

std::set<std::string> NamesMatching(const std::string& Pattern) {
  std::set<std::string> Names;
  WIN32_FIND_DATAA Data;
  const TFindHandle Find(FindFirstFileA(Pattern.c_str(), &Data));
  if (!Find) return Names;
  do Names.insert(Data.cFileName);
  while (FindNextFileA(Find.Get(), &Data));
  return Names;
}

std::set<std::string> Leftovers(const std::string& Folder) {
  return NamesMatching(Folder + "~vq*");
}

namespace {

std::string UnixPath(const std::string& Path) {
  using TUnixName = char*(CDECL*)(const WCHAR*);
  const auto UnixName = reinterpret_cast<TUnixName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  char* Name = UnixName ? UnixName(AnsiToWide(Path).c_str()) : nullptr;
  std::string Text = Name ? Name : "";
  HeapFree(GetProcessHeap(), 0, Name);
  return Text;
}

// A Linux program run with its arguments quoted; Wine cannot wait for it, so Done is polled.
bool RunUnix(const std::string& Program, const std::vector<std::string>& Arguments,
             const std::function<bool()>& Done) {
  std::string Command = "Z:\\bin\\" + Program;
  for (const std::string& Argument : Arguments) Command += " \"" + Argument + "\"";
  STARTUPINFOA Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process = {};
  if (!CreateProcessA(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &Startup, &Process))
    return false;
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  for (int Try = 0; Try < 100; ++Try, Sleep(50))
    if (Done()) return true;
  return false;
}

}  // namespace

bool MakeSymbolicLink(const std::string& Link, const std::string& Target) {
  return RunUnix("ln", {"-sfn", UnixPath(Target), UnixPath(Link)},
                 [&] { return GetFileAttributesA(Link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

bool RemoveSymbolicLink(const std::string& Link) {
  return RunUnix("rm", {"-f", UnixPath(Link)},
                 [&] { return GetFileAttributesA(Link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

std::string DesktopLink() {
  char Desktop[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, Desktop);
  return std::string(Desktop) + "\\VelquorManager.lnk";
}

std::string SignedRecord(const std::string& Manifest, const std::string& Signature) {
  std::string Hex;
  for (const unsigned char Byte : Signature) {
    char Digits[3];
    std::snprintf(Digits, sizeof Digits, "%02x", Byte);
    Hex += Digits;
  }
  return Manifest + "\r\n;sig=" + Hex + "\r\n";
}

namespace {

constexpr char kProductKey[] = "Software\\Harlune\\VelquorManager";

}  // namespace

std::string InstalledBoundValue() {
  char Value[256] = {};
  DWORD Size = sizeof Value - 1;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kProductKey, "Version", RRF_RT_REG_SZ, nullptr, Value,
                   &Size) != ERROR_SUCCESS)
    return "(none)";
  return Value;
}

void SetInstalledBoundValue(const char* Version) {
  TRegKey Key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                  nullptr, Key.Put(), nullptr);
  if (Version)
    RegSetValueExA(Key.Get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(Version),
                   static_cast<DWORD>(std::strlen(Version) + 1));
  else
    RegDeleteValueA(Key.Get(), "Version");
}

std::string UninstallValue(const char* Name) {
  constexpr char kEntry[] =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelquorManager";
  BYTE Data[4096] = {};
  DWORD Size = sizeof Data - 2, Type = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, AnsiToWide(kEntry).c_str(), AnsiToWide(Name).c_str(),
                   RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &Type, Data, &Size) != ERROR_SUCCESS)
    return "(none)";
  if (Type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(Data));
  return WideToUtf8(reinterpret_cast<const wchar_t*>(Data));
}

void ForgetInstallation() {
  char ProgramFiles[MAX_PATH] = {};
  DWORD Size = sizeof ProgramFiles;
  RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
               "ProgramFilesDir", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
               ProgramFiles, &Size);
  // A removal's copy may still be finishing there (deleting the uninstaller it set aside,
  // removing the folders it emptied): the shell gives up when a file goes under it.
  const std::string Harlune = std::string(ProgramFiles) + "\\Harlune";
  for (int Try = 0; Try < 20 && FolderExistsA(Harlune); ++Try) {
    if (Try > 0) Sleep(100);
    RemoveTree(Harlune);
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Harlune");
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Harlune");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelquorManager");
  RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelquorManager");
  DeleteFileA(DesktopLink().c_str());
}

namespace {

constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

}  // namespace

std::string PendingRenames() {
  std::string Data(64 * 1024, '\0');
  DWORD Size = static_cast<DWORD>(Data.size());
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations",
                   RRF_RT_REG_MULTI_SZ, nullptr, Data.data(), &Size) != ERROR_SUCCESS)
    return {};
  Data.resize(Size);
  std::replace(Data.begin(), Data.end(), '\0', '|');
  CharUpperBuffA(Data.data(), static_cast<DWORD>(Data.size()));
  return Data;
}

void ClearPendingRenames() {
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations");
}
