#pragma once
// The install engine's rules that need no platform: which relative paths may be installed, and
// the texts that the progress and completion pages show.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A relative path from the manifest (slashes or backslashes) may be installed only when
// no part of it can lead out of the install folder or name something other than a plain file:
// no ".." segment (Windows drops a segment's trailing dots and blanks, so "..." and ".. " count),
// no ":" (drives, alternate data streams), no leading "\\" pair, no control character or any of
// <>"|?*, and no segment that is a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// with or without an extension), and no segment that Windows would strip of its trailing dots or
// blanks to one of the product's own names (engine/ProductFiles.h). The canonical full path is
// checked by the caller as well.
bool IsInstallablePath(std::u16string_view LocalPath);

// The manifest's [info] release, the folder under the base URL that every file of a release is
// fetched from ("releases/2.0.0.0/"): segments of ASCII letters, digits, ".", "-" and "_", each
// beginning with a letter or digit (so none is empty, "." or ".."), each ending in "/", at most
// 200 characters in all. The URL path is built raw, so nothing else may reach it.
bool IsReleasePath(std::string_view Release);

// One file of a run as the room it needs sees it: its length and that of the copy it replaces
// (0 when there is none).
struct TFileRoom {
  std::uint64_t Size = 0;
  std::uint64_t Installed = 0;
};
// What a run needs at its peak on a volume of clusters of ClusterSize bytes: for each file its
// size in whole clusters less the installed copy's (nothing when that is larger), plus the
// largest file once more (its temporary copy stands beside the installed one until the move).
// Sums saturate rather than wrap, so a hostile size can only ask for too much.
std::uint64_t RoomNeeded(const std::vector<TFileRoom>& Files, std::uint64_t ClusterSize);

// "%d / %d"
std::string CounterText(int Position, int Total);

// Digits grouped in threes with Separator, then " Byte": "1,234,567 Byte", "0 Byte".
std::string ByteSizeText(std::uint64_t Bytes, std::string_view Separator);

// Why a run ended with false, kept for the completion page. Paths are UTF-8, as listed.
struct TInstallFailure {
  enum class TKind {
    None,
    Download,
    BadPath,
    NoFiles,
    BadSignature,
    Corrupt,
    InUse,
    Older,
    InstalledUnknown,  // the installed release's version could not be read
    Unregistered,      // the entry that lets Windows remove it could not be written
    NoRoom,            // Path: the room needed, Room: the room left (both as the size label says)
    DiskFull,          // the disk filled up while Path was written
    UnprovenImage,     // the installer's own file could not be held and proven
  };
  TKind Kind = TKind::None;
  std::string Path;       // for Older, the version text offered ("" when the manifest gives none)
  int HttpStatus = 0;     // the server's error status of a failed download, 0 when it sent none
  bool TimedOut = false;  // a download that stopped moving was ended
  std::string Room = {};  // for NoRoom
};

// The completion page's second line for a failed run, e.g.
// "파일을 받지 못했습니다: Update\b.dll (HTTP 404)" or "... (시간 초과)"; "" when Kind is None.
std::string FailureText(const TInstallFailure& Failure);

// The completion page's first line after a failed run.
inline constexpr std::string_view kIncompleteText = "프로그램 설치를 완료하지 못했습니다.";
