#include "net/FileDigest.h"

#include <chrono>
#include <vector>

#include "win32/Cng.h"
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
