#pragma once
// Where the body of one download goes: into memory (a signature), or on its way to its target
// through a temporary file "~vq*.tmp" beside the target (same folder, so the move cannot cross
// volumes), moved over the target only when it is whole and every check passed, and deleted
// otherwise. Whatever stood at the target before a failed download stays as it was. Part of the
// unit dsInetUtils.

#include <windows.h>

#include <cstddef>
#include <string>

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

  // Creates the temporary file in Target's folder; before the first one in a folder, the
  // leftovers of a killed run are deleted there. False when the folder can't take one.
  bool Open(const std::wstring& Target);
  // Every byte of the body passes here, in order. False once a write failed.
  bool Write(const void* Data, DWORD Size) override;
  ULONGLONG Size() const override { return Size_; }
  // Ends the writing and holds the body for reading: nobody may write it until Commit or
  // Discard, while a reader opens it by BodyPath.
  bool Hold();
  const std::wstring& BodyPath() const noexcept { return Temporary_; }
  // Moves the body over the target (replacing it). False, with the body deleted and the target
  // untouched, when the move fails; TargetInUse then tells whether another program's hold on
  // the target refused it.
  bool Commit();
  bool TargetInUse() const noexcept { return TargetInUse_; }
  // True when a write failed because the volume is full.
  bool DiskFull() const noexcept { return DiskFull_; }
  // Deletes the body; the target is not touched.
  void Discard();

 private:
  std::wstring Target_;
  std::wstring Temporary_;
  TFileHandle File_;
  ULONGLONG Size_ = 0;
  bool WriteFailed_ = false;
  bool TargetInUse_ = false;
  bool DiskFull_ = false;
};

// Deletes the temporary bodies that a killed run left in Target's folder, the first time a run
// comes to that folder (TBodySink::Open does it before its first body there), and never again
// in that run, so that it never deletes a body of its own.
void SweepLeftovers(const std::wstring& Target);
// A run begins: every folder is swept again the first time it comes there.
void StartLeftoverSweep();
// Whether Name is a temporary body's: "~vq", one to four hex digits, ".tmp".
bool IsTemporaryBodyName(const std::wstring& Name);

// Whether a move over a file failed because a program holds the target: a sharing or lock
// violation, a mapped section, or access denied to a plain file that is not read-only (what
// Windows answers for a running program's image). A folder, a read-only file, a missing target
// (TargetAttributes INVALID_FILE_ATTRIBUTES) and every other error: no.
bool IsTargetInUse(DWORD MoveError, DWORD TargetAttributes) noexcept;
