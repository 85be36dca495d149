#include "net/FileDigest.h"

#include <chrono>
#include <vector>

#include "win32/Cng.h"
#include "win32/Handle.h"
#include "win32/MessagePump.h"

namespace {

constexpr DWORD kReadSize = 256 * 1024;
// Long enough that the messages cost next to nothing, short enough that a user never sees it.
constexpr std::chrono::milliseconds kSlice{8};

}  // namespace

std::optional<TSha256Digest> HashFile(HANDLE File, std::string* Bytes) {
  TSha256 Hash;
  std::vector<char> Buffer(kReadSize);
  auto SliceEnd = std::chrono::steady_clock::now() + kSlice;
  for (;;) {
    DWORD Read = 0;
    if (!ReadFile(File, Buffer.data(), kReadSize, &Read, nullptr)) return std::nullopt;
    if (Read == 0) return Hash.Finish();
    Hash.Update(Buffer.data(), Read);
    if (Bytes) Bytes->append(Buffer.data(), Read);
    if (std::chrono::steady_clock::now() >= SliceEnd) {
      // Nothing stops a hash: a quit message only marks the application as ending.
      constexpr bool kGoOn = false;
      HandleWaitingMessages(GetTickCount64() + kSlice.count(), kGoOn);
      SliceEnd = std::chrono::steady_clock::now() + kSlice;
    }
  }
}

std::optional<ULONGLONG> SizeWithDigest(const std::wstring& Path, const TSha256Digest& Digest) {
  const TFileHandle File(CreateFileW(Path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  BY_HANDLE_FILE_INFORMATION Info;
  if (!File || !GetFileInformationByHandle(File.Get(), &Info) ||
      (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || HashFile(File.Get()) != Digest)
    return std::nullopt;
  return ULARGE_INTEGER{{Info.nFileSizeLow, Info.nFileSizeHigh}}.QuadPart;
}
