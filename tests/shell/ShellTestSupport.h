#pragma once
// What the CreateShortcut tests share: COM for the test thread, registry values that a test sets
// and restores under the current user's hive, and reading a written shortcut back.

#include <windows.h>

#include <optional>
#include <string>

// One registry value under HKEY_CURRENT_USER\KeyPath, restored (or removed) when the test ends.
class TScopedRegValue {
 public:
  TScopedRegValue(std::string KeyPath, std::string Name);
  ~TScopedRegValue();
  TScopedRegValue(const TScopedRegValue&) = delete;
  TScopedRegValue& operator=(const TScopedRegValue&) = delete;

  void Set(const std::string& Data, DWORD Type = REG_SZ);
  void SetDword(DWORD Data);
  void Delete();

 private:
  struct TSaved {
    DWORD Type;
    std::string Data;
  };
  std::string KeyPath_;
  std::string Name_;
  std::optional<TSaved> Saved_;
};

// HKEY_CURRENT_USER\KeyPath made absent for one test: an existing key is copied aside and put
// back afterwards, and whatever the test created there is removed.
class TScopedAbsentKey {
 public:
  explicit TScopedAbsentKey(std::string KeyPath);
  ~TScopedAbsentKey();
  TScopedAbsentKey(const TScopedAbsentKey&) = delete;
  TScopedAbsentKey& operator=(const TScopedAbsentKey&) = delete;

 private:
  std::string KeyPath_;
  std::string Backup_;
  bool Existed_ = false;
};

bool RegKeyExists(const std::string& KeyPath);
// Number of values and subkeys of HKEY_CURRENT_USER\KeyPath.
DWORD RegKeyEntries(const std::string& KeyPath);

// The four texts of a shortcut file as IShellLinkA gives them back (ANSI).
struct TLinkFields {
  std::string Target;
  std::string WorkingDir;
  std::string Arguments;
  std::string Description;
};
TLinkFields ReadLink(const std::string& LinkPath);

// Hands a verified shortcut to the Linux-side check, which reads it with lnkinfo and expects the
// same fields. Does nothing when the harness did not ask for records.
void RecordLinkForLnkinfo(const std::string& LinkPath, const TLinkFields& Expected);
// Starts a fresh set of records.
void ClearLnkinfoRecords();
