#include "shell/Shortcut.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "base/Error.h"
#include "win32/CheckedFile.h"
#include "win32/Registry.h"
#include "win32/SystemError.h"
#include "win32/Text.h"

using Microsoft::WRL::ComPtr;

namespace {

// In-process or local server, as the shell link class may be offered either way.
constexpr DWORD kShellLinkClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
static_assert(kShellLinkClassContext == 5);

struct TShellLink {
  ComPtr<IShellLinkA> Link;
  ComPtr<IPersistFile> File;
};

// The shortcut's bytes as the object would save them to a file; "" when it can't say them.
std::string SavedBytes(const TShellLink& Shell) {
  ComPtr<IPersistStream> Persist;
  ComPtr<IStream> Stream;
  if (FAILED(Shell.Link.As(&Persist)) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE, Stream.GetAddressOf())) ||
      FAILED(Persist->Save(Stream.Get(), TRUE)))
    return {};
  HGLOBAL Memory = nullptr;  // the stream's own
  STATSTG Stat = {};
  if (FAILED(GetHGlobalFromStream(Stream.Get(), &Memory)) ||
      FAILED(Stream->Stat(&Stat, STATFLAG_NONAME)))
    return {};
  const void* Bytes = GlobalLock(Memory);
  if (!Bytes) return {};
  std::string Saved(static_cast<const char*>(Bytes), static_cast<size_t>(Stat.cbSize.QuadPart));
  GlobalUnlock(Memory);
  return Saved;
}

TShellLink CreateShellLink() {
  ComPtr<IUnknown> Object;
  const HRESULT Result = CoCreateInstance(CLSID_ShellLink, nullptr, kShellLinkClassContext,
                                          IID_PPV_ARGS(Object.GetAddressOf()));
  if (FAILED(Result)) throw EInstallerError(OleErrorMessage(Result));
  TShellLink Shell;
  if (FAILED(Object.As(&Shell.Link)) || FAILED(Object.As(&Shell.File))) {
    throw EInstallerError("Interface not supported");
  }
  return Shell;
}

// The folder of a registry-backed location, "" when there is none. The keys are closed on
// return, before anything is written.
std::string ReadShortcutFolder(ShortcutLocation Location, const std::string& SubFolder) {
  const TShortcutFolderKey Where = ShortcutFolderKey(Location);
  if (Where.BaseKey.empty()) return {};
  const TRegKey Base = CreateOrOpenRegKey(HKEY_CURRENT_USER, std::string(Where.BaseKey), KEY_READ);
  if (Location == slCustom) return SubFolder;
  if (!Base) return {};
  // Read only: the key is the user's, and nothing here writes it.
  const TRegKey Folders = OpenRegKey(Base.Get(), std::string(Where.SubKey), KEY_READ);
  return ReadRegString(Folders.Get(), std::string(Where.ValueName));
}

}  // namespace

void CreateShortcut(const std::string& Target, ShortcutLocation Location,
                    const std::string& SubFolder, const std::string& WorkingDir,
                    const std::string& Arguments, const std::string& Description,
                    std::string& LinkPath) {
  const TShellLink Shell = CreateShellLink();
  // The platform's answers are not examined: a refused step leaves a shortcut that lacks it.
  Shell.Link->SetPath(Target.c_str());
  Shell.Link->SetArguments(Arguments.c_str());
  Shell.Link->SetDescription(Description.c_str());

  const std::string LinkName = ShortcutLinkName(Target);
  const std::string Folder = ReadShortcutFolder(Location, SubFolder);
  if (Folder.empty()) return;

  const std::string Path = ShortcutFilePath(Folder, Location, SubFolder, LinkName);
  Shell.Link->SetWorkingDirectory(ShortcutWorkingDir(Target, WorkingDir).c_str());
  const std::wstring WidePath = AnsiToWide(Path);
  // The folder is the user's to name, and this program runs elevated: the shortcut is made in
  // memory and written only where the user may create files, through a checked handle.
  const std::string Bytes = SavedBytes(Shell);
  if (!Bytes.empty()) WriteUserFile(WidePath, Bytes);
  LinkPath = WideToAnsi(WidePath);
}

bool IsShortcutTo(std::string_view Bytes, const std::string& Target) {
  ComPtr<IShellLinkA> Link;
  ComPtr<IPersistStream> Persist;
  ComPtr<IStream> Stream;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, kShellLinkClassContext,
                              IID_PPV_ARGS(Link.GetAddressOf()))) ||
      FAILED(Link.As(&Persist)) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE, Stream.GetAddressOf())))
    return false;
  ULONG Written = 0;
  const LARGE_INTEGER Start = {};
  if (FAILED(Stream->Write(Bytes.data(), static_cast<ULONG>(Bytes.size()), &Written)) ||
      FAILED(Stream->Seek(Start, STREAM_SEEK_SET, nullptr)) || FAILED(Persist->Load(Stream.Get())))
    return false;
  // GetPath writes at most the buffer's size: a longer target comes back cut, never equals ours,
  // and the shortcut stays.
  char Path[MAX_PATH * 4] = {};
  if (Link->GetPath(Path, sizeof Path, nullptr, SLGP_RAWPATH) != S_OK) return false;
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, Path, -1, Target.c_str(), -1) ==
         CSTR_EQUAL;
}
