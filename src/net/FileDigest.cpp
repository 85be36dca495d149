#include "net/FileDigest.h"

#include <chrono>
#include <memory>
#include <utility>

#include "win32/CheckedFile.h"
#include "win32/Cng.h"
#include "win32/Handle.h"
#include "win32/MessagePump.h"

namespace {

using TClock = std::chrono::steady_clock;

// Large reads: a small file in one call, a large one in few.
constexpr DWORD kReadSize = 1024 * 1024;
// Long enough that the messages cost next to nothing, short enough that a user never sees it.
constexpr std::chrono::milliseconds kSlice{8};
// When the window's messages are due again: one slice runs on across many small files.
TClock::time_point NextMessages;

// The buffer the reads go into, one for every file: a buffer made for each file is mapped
// fresh and its pages faulted in one by one, which took a third of the time over the 300 small
// files of the bench (under Wine). A hash that begins while another hands on the window's
// messages (none does) gets one of its own.
class TReadBuffer {
 public:
  TReadBuffer() {
    if (std::exchange(Busy_, true)) {
      Own_ = std::make_unique_for_overwrite<char[]>(kReadSize);
      return;
    }
    Leased_ = true;
    if (!Shared_) Shared_ = std::make_unique_for_overwrite<char[]>(kReadSize);
  }
  TReadBuffer(const TReadBuffer&) = delete;
  TReadBuffer& operator=(const TReadBuffer&) = delete;
  ~TReadBuffer() {
    if (Leased_) Busy_ = false;
  }
  char* Get() const noexcept { return Leased_ ? Shared_.get() : Own_.get(); }

 private:
  static inline std::unique_ptr<char[]> Shared_;
  static inline bool Busy_ = false;
  std::unique_ptr<char[]> Own_;
  bool Leased_ = false;
};

}  // namespace

std::optional<THashedFile> HashFile(HANDLE File, std::string* Bytes,
                                    const THashProgress& Progress) {
  TSha256 Hash;
  LARGE_INTEGER Total = {};
  const TReadBuffer Buffer;
  ULONGLONG Size = 0;
  for (;;) {
    DWORD Read = 0;
    if (!ReadFile(File, Buffer.Get(), kReadSize, &Read, nullptr)) return std::nullopt;
    if (Read == 0) break;
    Hash.Update(Buffer.Get(), Read);
    Size += Read;
    if (Bytes) Bytes->append(Buffer.Get(), Read);
    if (TClock::now() >= NextMessages) {
      // Asked only of a file that takes this long: small files pay nothing for it.
      if (Progress && (Total.QuadPart > 0 || GetFileSizeEx(File, &Total)))
        Progress(Size, static_cast<ULONGLONG>(Total.QuadPart));
      // Nothing stops a hash: a quit message only marks the application as ending.
      constexpr bool kGoOn = false;
      HandleWaitingMessages(GetTickCount64() + kSlice.count(), kGoOn);
      NextMessages = TClock::now() + kSlice;
    }
  }
  const std::optional<TSha256Digest> Digest = Hash.Finish();
  if (!Digest) return std::nullopt;
  return THashedFile{*Digest, Size};
}

std::optional<ULONGLONG> SizeWithDigest(const std::wstring& Path, const TSha256Digest& Digest,
                                        const THashProgress& Progress,
                                        std::wstring_view FinalPath) {
  // Only the plain file at Path counts: a link (or a hard link's other name) leads to bytes that
  // stand somewhere else, which an update must not take for the installed copy.
  const TFileHandle File(CreateFileW(
      Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  // Its final path as meant settles the path at once; any other (a short name, a name in another
  // case) has the path resolved and compared.
  if (!File || !(IsPlainFileNamed(File.Get(), FinalPath) || IsPlainFileAt(File.Get(), Path)))
    return std::nullopt;
  const std::optional<THashedFile> Hashed = HashFile(File.Get(), nullptr, Progress);
  if (!Hashed || Hashed->Digest != Digest) return std::nullopt;
  return Hashed->Size;
}
