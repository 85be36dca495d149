#pragma once
// Where the body of one download goes: into memory (a signature), or on its way to its target
// through a temporary file "~vq*.tmp" beside the target (same folder, so the rename cannot cross
// volumes), renamed over the target only when it is whole and every check passed, and deleted
// otherwise. Whatever stood at the target before a failed download stays as it was. Part of the
// unit dsInetUtils.

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "base/FileAccess.h"
#include "win32/Handle.h"

// Where the bytes of one download go, in order.
class TBody {
 public:
  // False once the body can take no more: the download is ended.
  virtual bool Write(const void* Data, DWORD Size) = 0;
  virtual ULONGLONG Size() const = 0;

 protected:
  ~TBody() = default;
};

// A small body kept in memory, never more than MaxSize bytes and one: a longer one is refused
// as soon as that byte arrives (the byte is kept, so the caller sees it was longer).
class TMemoryBody final : public TBody {
 public:
  TMemoryBody(std::string& Bytes, std::size_t MaxSize) : Bytes_(Bytes), MaxSize_(MaxSize) {}
  bool Write(const void* Data, DWORD Size) override;
  ULONGLONG Size() const override { return Bytes_.size(); }

 private:
  std::string& Bytes_;
  std::size_t MaxSize_;
};

class TBodySink final : public TBody {
 public:
  TBodySink() = default;
  TBodySink(const TBodySink&) = delete;
  TBodySink& operator=(const TBodySink&) = delete;
  ~TBodySink() { Discard(); }

  // Creates the temporary file in Target's folder under a random name (never over an existing
  // file), shared with nobody and created with Access's descriptor; before the first one in a
  // folder, the leftovers of a killed run are deleted there. False when the folder can't take
  // one; PathRefused then tells whether the path itself was the reason.
  bool Open(const std::wstring& Target, TFileAccess Access = TFileAccess::Inherited);
  // Every byte of the body passes here, in order. False once a write failed.
  bool Write(const void* Data, DWORD Size) override;
  ULONGLONG Size() const override { return Size_; }
  // Ends the writing and holds the body for reading: others may read it (by BodyPath, as the
  // profile reader does), nobody may change it until Commit or Discard.
  bool Hold();
  const std::wstring& BodyPath() const noexcept { return Temporary_; }
  // Flushes the body and renames it over the target (replacing it) through its own handle. False,
  // with the body deleted and the target untouched, when that fails; TargetInUse then tells
  // whether another program's hold on the target refused it. With AtRestartWhenInUse, a target
  // that a program holds is replaced when Windows restarts instead, the body waiting beside it
  // (true, and AtRestart tells so).
  bool Commit(bool AtRestartWhenInUse = false);
  bool TargetInUse() const noexcept { return TargetInUse_; }
  bool AtRestart() const noexcept { return AtRestart_; }
  // True when a write failed because the volume is full.
  bool DiskFull() const noexcept { return DiskFull_; }
  bool PathRefused() const noexcept { return PathRefused_; }
  // Deletes the body; the target is not touched.
  void Discard();

 private:
  std::wstring Target_;  // in the "\\?\" form, as Temporary_
  std::wstring Temporary_;
  TFileHandle File_;
  bool Deletable_ = false;  // File_ was opened with the right to rename and delete it
  ULONGLONG Size_ = 0;
  bool WriteFailed_ = false;
  bool TargetInUse_ = false;
  bool AtRestart_ = false;
  bool DiskFull_ = false;
  bool PathRefused_ = false;
};

// Deletes the temporary bodies that a killed run left in Target's folder, the first time a run
// comes to that folder (TBodySink::Open does it before its first body there), and never again
// in that run, so that it never deletes a body of its own.
void SweepLeftovers(const std::wstring& Target);
// A run begins: every folder is swept again the first time it comes there.
void StartLeftoverSweep();
// Whether Name is a temporary body's: "~vq", one to four hex digits, ".tmp" (earlier builds
// took fewer digits).
bool IsTemporaryBodyName(const std::wstring& Name);

// Whether a move over a file failed because a program holds the target: a sharing or lock
// violation, a mapped section, or access denied to a plain file that is not read-only (what
// Windows answers for a running program's image). A folder, a read-only file, a missing target
// (TargetAttributes INVALID_FILE_ATTRIBUTES) and every other error: no.
bool IsTargetInUse(DWORD MoveError, DWORD TargetAttributes) noexcept;
