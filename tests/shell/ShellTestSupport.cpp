#include "shell/ShellTestSupport.h"

#include <objidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <stdexcept>

#include "win32/Handle.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

using Microsoft::WRL::ComPtr;

namespace {

TRegKey CreateKey(const std::string& KeyPath) {
  TRegKey Key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      Key.Put(), nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create key " + KeyPath);
  }
  return Key;
}

void Check(HRESULT Result, const char* What) {
  if (FAILED(Result)) throw std::runtime_error(What);
}

// The harness names a Linux folder; Wine shows it on drive Z:.
std::string RecordsFolder() {
  char Buffer[MAX_PATH * 4] = {};
  const DWORD n = GetEnvironmentVariableA("VELQUOR_LNKINFO_RECORDS", Buffer, sizeof Buffer);
  if (n == 0 || n >= sizeof Buffer) return {};
  std::string Folder = std::string("Z:") + Buffer;
  for (char& c : Folder)
    if (c == '/') c = '\\';
  if (Folder.back() != '\\') Folder += '\\';
  return Folder;
}

constexpr const char* kExpectedFile = "expected.tsv";

}  // namespace

TScopedRegValue::TScopedRegValue(std::string KeyPath, std::string Name)
    : KeyPath_(std::move(KeyPath)), Name_(std::move(Name)) {
  const TRegKey Key = CreateKey(KeyPath_);
  DWORD Type = 0, Size = 0;
  if (RegQueryValueExA(Key.Get(), Name_.c_str(), nullptr, &Type, nullptr, &Size) == ERROR_SUCCESS) {
    std::string Data(Size, '\0');
    RegQueryValueExA(Key.Get(), Name_.c_str(), nullptr, &Type, reinterpret_cast<BYTE*>(Data.data()),
                     &Size);
    Data.resize(Size);
    Saved_ = TSaved{Type, Data};
  }
}

TScopedRegValue::~TScopedRegValue() {
  if (Saved_) {
    const TRegKey Key = CreateKey(KeyPath_);
    RegSetValueExA(Key.Get(), Name_.c_str(), 0, Saved_->Type,
                   reinterpret_cast<const BYTE*>(Saved_->Data.data()),
                   static_cast<DWORD>(Saved_->Data.size()));
  } else {
    Delete();
  }
}

void TScopedRegValue::Set(const std::string& Data, DWORD Type) {
  const TRegKey Key = CreateKey(KeyPath_);
  // Stored with its terminating zero, as the platform's own tools store strings.
  RegSetValueExA(Key.Get(), Name_.c_str(), 0, Type, reinterpret_cast<const BYTE*>(Data.c_str()),
                 static_cast<DWORD>(Data.size() + 1));
}

void TScopedRegValue::SetDword(DWORD Data) {
  const TRegKey Key = CreateKey(KeyPath_);
  RegSetValueExA(Key.Get(), Name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Data),
                 sizeof Data);
}

void TScopedRegValue::Delete() {
  TRegKey Key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath_.c_str(), 0, KEY_ALL_ACCESS, Key.Put()) ==
      ERROR_SUCCESS) {
    RegDeleteValueA(Key.Get(), Name_.c_str());
  }
}

TScopedAbsentKey::TScopedAbsentKey(std::string KeyPath)
    : KeyPath_(std::move(KeyPath)), Backup_(KeyPath_ + ".velquor-test-backup") {
  Existed_ = RegKeyExists(KeyPath_);
  if (Existed_) {
    const TRegKey From = CreateKey(KeyPath_);
    const TRegKey To = CreateKey(Backup_);
    if (RegCopyTreeA(From.Get(), nullptr, To.Get()) != ERROR_SUCCESS)
      throw std::runtime_error("cannot back up " + KeyPath_);
    RegDeleteTreeA(HKEY_CURRENT_USER, KeyPath_.c_str());
  }
}

TScopedAbsentKey::~TScopedAbsentKey() {
  RegDeleteTreeA(HKEY_CURRENT_USER, KeyPath_.c_str());
  if (Existed_) {
    {
      const TRegKey From = CreateKey(Backup_);
      const TRegKey To = CreateKey(KeyPath_);
      RegCopyTreeA(From.Get(), nullptr, To.Get());
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, Backup_.c_str());
  }
}

bool RegKeyExists(const std::string& KeyPath) {
  TRegKey Key;
  return RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath.c_str(), 0, KEY_READ, Key.Put()) == ERROR_SUCCESS;
}

DWORD RegKeyEntries(const std::string& KeyPath) {
  TRegKey Key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath.c_str(), 0, KEY_READ, Key.Put()) != ERROR_SUCCESS)
    return 0;
  DWORD SubKeys = 0, Values = 0;
  RegQueryInfoKeyA(Key.Get(), nullptr, nullptr, nullptr, &SubKeys, nullptr, nullptr, &Values,
                   nullptr, nullptr, nullptr, nullptr);
  return SubKeys + Values;
}

TLinkFields ReadLink(const std::string& LinkPath) {
  ComPtr<IShellLinkA> Link;
  Check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Link)),
        "no shell link object");
  ComPtr<IPersistFile> File;
  Check(Link.As(&File), "no IPersistFile");
  Check(File->Load(AnsiToWide(LinkPath).c_str(), STGM_READ), "cannot load the shortcut");
  char Buffer[4 * MAX_PATH];
  TLinkFields Fields;
  Buffer[0] = '\0';
  Link->GetPath(Buffer, sizeof Buffer, nullptr, SLGP_RAWPATH);
  Fields.Target = Buffer;
  Buffer[0] = '\0';
  Link->GetWorkingDirectory(Buffer, sizeof Buffer);
  Fields.WorkingDir = Buffer;
  Buffer[0] = '\0';
  Link->GetArguments(Buffer, sizeof Buffer);
  Fields.Arguments = Buffer;
  Buffer[0] = '\0';
  Link->GetDescription(Buffer, sizeof Buffer);
  Fields.Description = Buffer;
  return Fields;
}

void ClearLnkinfoRecords() {
  const std::string Folder = RecordsFolder();
  if (Folder.empty()) return;
  CreateDirectoryA(Folder.c_str(), nullptr);
  WIN32_FIND_DATAA Found;
  HANDLE Find = FindFirstFileA((Folder + "*").c_str(), &Found);
  if (Find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      DeleteFileA((Folder + Found.cFileName).c_str());
  } while (FindNextFileA(Find, &Found));
  FindClose(Find);
}

void RecordLinkForLnkinfo(const std::string& LinkPath, const TLinkFields& Expected) {
  const std::string Folder = RecordsFolder();
  if (Folder.empty()) return;
  static int Count = 0;
  const std::string Name = std::to_string(++Count) + ".lnk";
  if (!CopyFileA(LinkPath.c_str(), (Folder + Name).c_str(), FALSE))
    throw std::runtime_error("cannot copy " + LinkPath);
  const std::string ExpectedPath = Folder + kExpectedFile;
  std::string Lines = FileExistsA(ExpectedPath) ? ReadBytes(ExpectedPath) : std::string();
  Lines += Name + "\t" + AnsiToUtf8(Expected.Target) + "\t" + AnsiToUtf8(Expected.WorkingDir) +
           "\t" + AnsiToUtf8(Expected.Arguments) + "\t" + AnsiToUtf8(Expected.Description) + "\n";
  WriteBytes(ExpectedPath, Lines);
}
