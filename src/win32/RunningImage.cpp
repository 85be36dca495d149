// GetMappedFileNameW from kernel32 itself (K32GetMappedFileNameW): psapi.dll is no static import.
#define PSAPI_VERSION 2
#include "win32/RunningImage.h"

#include <psapi.h>

#include "win32/FileSystem.h"
#include "win32/SystemLibrary.h"

namespace {

// A scanner may have the file open for a moment when the program starts.
constexpr int kOpenTries = 20;
constexpr DWORD kOpenRetryMs = 50;
constexpr LONG kStatusSuccess = 0;

// The one owner of the held image, for the process's life.
TFileHandle HeldImage;

struct TMappedViewTraits : TNullIsInvalid<void*> {
  static void Close(Type View) noexcept { UnmapViewOfFile(View); }
};
using TMappedView = TUniqueHandle<TMappedViewTraits>;

// The file mapped as the image, by the name the system gives its mapping.
TFileHandle OpenMappedImage() {
  wchar_t Mapped[32768];
  const DWORD Length =
      GetMappedFileNameW(GetCurrentProcess(), GetModuleHandleW(nullptr), Mapped, ARRAYSIZE(Mapped));
  if (Length == 0 || Length >= ARRAYSIZE(Mapped)) return {};
  // Windows names the device ("\Device\HarddiskVolume3\..."), which only the GLOBALROOT link
  // reaches; Wine names a DOS path in the object namespace ("\??\C:\...").
  const std::wstring Name(Mapped, Length);
  const std::wstring Path =
      Name.starts_with(L"\\??\\") ? L"\\\\?\\" + Name.substr(4) : L"\\\\?\\GLOBALROOT" + Name;
  for (int Try = 1;; ++Try) {
    TFileHandle File(CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (File || GetLastError() != ERROR_SHARING_VIOLATION || Try == kOpenTries) return File;
    Sleep(kOpenRetryMs);
  }
}

// Whether File is the file the loaded image was mapped from: the name can have been given to
// another file between the start and the open.
bool IsLoadedImage(HANDLE File) {
  using TAreMappedFilesTheSame = LONG(NTAPI*)(PVOID, PVOID);
  const auto AreMappedFilesTheSame = GetProcedure<TAreMappedFilesTheSame>(
      GetModuleHandleW(L"ntdll.dll"), "NtAreMappedFilesTheSame");
  const TKernelHandle Mapping(CreateFileMappingW(File, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!AreMappedFilesTheSame || !Mapping) return false;
  const TMappedView View(MapViewOfFile(Mapping.Get(), FILE_MAP_READ, 0, 0, 0));
  return View && AreMappedFilesTheSame(GetModuleHandleW(nullptr), View.Get()) == kStatusSuccess;
}

}  // namespace

bool HoldRunningImage() {
  TFileHandle File = OpenMappedImage();
  if (!File || !IsLoadedImage(File.Get())) return false;
  HeldImage = std::move(File);
  return true;
}

HANDLE RunningImage() noexcept { return HeldImage ? HeldImage.Get() : nullptr; }

bool ReadRunningImage(std::string& Bytes, std::size_t MaxSize) {
  LARGE_INTEGER Start = {};
  Bytes.clear();
  return HeldImage && SetFilePointerEx(HeldImage.Get(), Start, nullptr, FILE_BEGIN) &&
         ReadToEnd(HeldImage.Get(), MaxSize, Bytes);
}

void LetGoOfRunningImage() noexcept { HeldImage.Reset(); }

bool SameFile(HANDLE A, HANDLE B) {
  BY_HANDLE_FILE_INFORMATION First = {}, Second = {};
  return GetFileInformationByHandle(A, &First) && GetFileInformationByHandle(B, &Second) &&
         First.dwVolumeSerialNumber == Second.dwVolumeSerialNumber &&
         First.nFileIndexHigh == Second.nFileIndexHigh &&
         First.nFileIndexLow == Second.nFileIndexLow;
}
