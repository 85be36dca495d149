#pragma once
// Where the body of one download goes on its way to its target: a temporary file "~vq*.tmp"
// beside the target (same folder, so the move cannot cross volumes), moved over the target only
// when it is whole and deleted otherwise. Whatever stood at the target before a failed download
// stays as it was. Part of the unit dsInetUtils.

#include <windows.h>

#include <string>

#include "win32/Handle.h"

class TBodySink {
 public:
  TBodySink() = default;
  TBodySink(const TBodySink&) = delete;
  TBodySink& operator=(const TBodySink&) = delete;
  ~TBodySink() { Discard(); }

  // Creates the temporary file in Target's folder; before the first one in a folder, the
  // leftovers of a killed run are deleted there. False when the folder can't take one.
  bool Open(const std::wstring& Target);
  // Every byte of the body passes here, in order. False once a write failed.
  bool Write(const void* Data, DWORD Size);
  ULONGLONG Size() const { return Size_; }
  // Every byte written and, when the server announced a length, at least that many.
  bool IsWhole(ULONGLONG AnnouncedSize) const;
  // Moves the body over the target (replacing it). False, with the body deleted and the target
  // untouched, when the move fails.
  bool Commit();
  // Deletes the body; the target is not touched.
  void Discard();

 private:
  std::wstring Target_;
  std::wstring Temporary_;
  TFileHandle File_;
  ULONGLONG Size_ = 0;
  bool WriteFailed_ = false;
};
