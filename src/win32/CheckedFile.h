#pragma once
// Files in folders that the user's own programs control (the temporary folder, the desktop).
// The installer runs elevated; any unelevated program of the same user can turn a path there
// into a link to any file on the machine. So a file there is created new under a name nobody
// could guess, or opened without following a reparse point, and it is written, replaced or
// deleted only through a handle whose final path is the path meant. Nothing is ever truncated
// or deleted by path.

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "win32/Handle.h"

// Whether Folder is the user's own to write in as administrator: it resolves to the path it is
// named by (no link or junction in its place), and the user on whose behalf this process runs
// elevated (the linked token of its elevated token) may create files there. A process that is
// not elevated on someone's behalf needs only the first.
bool IsUsersOwnFolder(const std::wstring& Folder);

// Prefix, Digits random hex digits (at most 16), Ext: with all 16, a name that no other program
// can have prepared.
std::wstring RandomFileName(std::wstring_view Prefix, std::wstring_view Ext, int Digits = 16);

// Whether File is a plain file (no name-surrogate reparse point, not a folder) with no other
// name (one link) whose final path is Path: the full path, its folder in long form, compared
// without regard to case.
bool IsPlainFileAt(HANDLE File, const std::wstring& Path);

// A folder held for as long as this object lives, so that nobody can rename, replace or delete
// it (nor a folder above it) meanwhile, and its final path as the file system spells it. Empty
// when it can't be opened or does not resolve to the path meant (a link or junction in its
// place): its files are then checked one by one, path and all (IsPlainFileAt).
class THeldFolder {
 public:
  THeldFolder() = default;
  static THeldFolder Open(const std::wstring& Folder);

  explicit operator bool() const noexcept { return static_cast<bool>(Folder_); }
  // Without the "\\?\" prefix and without a backslash at the end.
  const std::wstring& FinalPath() const noexcept { return FinalPath_; }

 private:
  TFileHandle Folder_;
  std::wstring FinalPath_;
};

// Whether File is a plain file with one link whose final path is exactly FinalPath, as the file
// system spells it: a held folder's final path, a backslash and the name as it stands there.
// Cheaper than IsPlainFileAt, which resolves the meant path on every call; a false here may be
// a name given in another case or as its short form, which IsPlainFileAt then accepts.
bool IsPlainFileNamed(HANDLE File, std::wstring_view FinalPath);

class TCheckedFile {
 public:
  enum class TOpen {
    Opened,
    Missing,    // no file of that name (nor its folder)
    Elsewhere,  // it resolves elsewhere, is a link or a folder, or has other names (hard links)
    Failed,     // any other failure; Error() tells which (a sharing violation: in use)
  };

  TCheckedFile() = default;

  // A new file at Path (CREATE_NEW, never over anything), opened for writing and deletion. When
  // its final path is not Path, it is deleted again through its handle and the result is empty.
  static TCheckedFile CreateNew(const std::wstring& Path);
  // The plain file at Path (no name-surrogate reparse point, one link, final path Path), opened
  // for Access and deletion without following a reparse point, others allowed to read only.
  static TCheckedFile OpenExisting(const std::wstring& Path, DWORD Access);

  explicit operator bool() const noexcept { return static_cast<bool>(File_); }
  TOpen Result() const noexcept { return Result_; }
  DWORD Error() const noexcept { return Error_; }
  HANDLE Get() const noexcept { return File_.Get(); }

  // The file's bytes from its start, at most MaxSize; false when it holds more or can't be read.
  bool ReadAll(std::string& Bytes, std::size_t MaxSize);
  // Makes Bytes the file's whole content.
  bool WriteAll(std::string_view Bytes);
  // Whether the user on whose behalf this process runs elevated holds Access on the file itself:
  // what the user could not do to it, this process does not do for him.
  bool UserMay(DWORD Access) const;
  // Marks the file for deletion; it goes when this handle (the last one) is closed.
  bool Delete();
  // Gives the file another name in the same folder (never over an existing file).
  bool Rename(const std::wstring& NewPath);
  // Closes the handle: a file marked for deletion goes now.
  void Close() noexcept { File_.Reset(); }

 private:
  TCheckedFile(TFileHandle File, TOpen Result, DWORD Error)
      : File_(std::move(File)), Result_(Result), Error_(Error) {}

  TFileHandle File_;
  TOpen Result_ = TOpen::Failed;
  DWORD Error_ = ERROR_SUCCESS;
};

// Bytes as the whole content of the file at Path, in a folder of the user's side: a new file, or
// the plain file that stands there, which the user may write, replaced through its checked
// handle. False, with nothing written, when the folder or file is not the user's to write or
// the path resolves elsewhere.
bool WriteUserFile(const std::wstring& Path, std::string_view Bytes);
// A new file at Path with Bytes, under the same rules; false when the name is taken.
bool CreateUserFile(const std::wstring& Path, std::string_view Bytes);
// Deletes the plain file at Path through its checked handle, in a folder of the user's side,
// when the user may delete it. False when there is none, or it is not ours to delete.
bool DeleteUserFile(const std::wstring& Path);

// A new folder of a random name under the system's own temporary folder (the Windows folder's
// "Temp", never one an environment variable names), owned by the administrators and open only
// to them and SYSTEM, made by a call that fails when the name exists and checked where it
// resolves. Its path, ending in a backslash; "" when it could not be made so.
std::wstring CreatePrivateFolder();
// Where such folders are made, ending in a backslash; "" when the platform can't name it.
std::wstring PrivateFoldersRoot();
// Whether Name has the form of such a folder's name.
bool IsPrivateFolderName(std::wstring_view Name);
// Whether the file open as File lies directly in a folder of that form under that root.
bool LiesInPrivateFolder(HANDLE File);

// Marks Path for deletion when the computer restarts (a folder only once it is empty).
bool DeleteAtRestart(const std::wstring& Path);
