// LoadManifest on the platform's profile reader.

#include <windows.h>

#include "engine/Manifest.h"
#include "base/Error.h"
#include "win32/Handle.h"
#include "win32/MessagePump.h"
#include "win32/ProfileFile.h"
#include "win32/SystemError.h"
#include "win32/Text.h"

namespace {

// Opens and reads the whole file once, only to learn that it can be read: the profile reader
// itself reports nothing when it cannot open a file.
void CheckReadable(const std::string& Path) {
  TFileHandle File(CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  DWORD Error = File ? ERROR_SUCCESS : GetLastError();
  if (File) {
    char Chunk[64 * 1024];
    DWORD Read = 0;
    do {
      if (!ReadFile(File.Get(), Chunk, sizeof Chunk, &Read, nullptr)) {
        Error = GetLastError();
        break;
      }
    } while (Read > 0);
  }
  if (Error != ERROR_SUCCESS) {
    throw EInstallerError("Cannot open file \"" + AnsiToUtf8(Path) + "\". " +
                          SysErrorMessage(Error));
  }
}

// The window's waiting messages: reading a manifest of the 4 MiB it may have takes a few tenths
// of a second (under Wine the platform parses the whole file again for each section read of a
// file this fresh, some 50 ms), and the window must answer throughout.
void HandleWindowMessages() {
  // A quit message only marks the application as ending: the run ends on its own.
  constexpr bool kGoOn = false;
  HandleWaitingMessages(GetTickCount64() + kFrameMs, kGoOn);
}

}  // namespace

void LoadManifest(const std::string& Path, TManifest& Manifest) {
  Manifest.Files.clear();
  // No digest of an earlier manifest may stand in for this one's, even when it can't be read.
  Manifest.Sha256.clear();
  Manifest.Sizes.clear();
  CheckReadable(Path);
  TProfileFile Reader(Path);
  Reader.KeepAnswering = HandleWindowMessages;
  ReadManifest(Reader, Manifest);
}
