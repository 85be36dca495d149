#pragma once
// Who may open a file that a run writes into the install folder, and the descriptor that says
// so, in the security descriptor language of the platform (SDDL). Portable: the texts need no
// platform.

#include <string_view>

enum class TFileAccess {
  Inherited,           // what the folder gives: users read and run what is installed
  AdministratorsOnly,  // the product's bookkeeping: administrators and SYSTEM, nobody else
  UsersReadExecute,    // the uninstaller: Settings starts it unelevated, so users read it too
};

// Protected (nothing inherited) and owned by the administrators; "" for Inherited.
constexpr std::wstring_view FileAccessDescriptor(TFileAccess Access) noexcept {
  switch (Access) {
    case TFileAccess::Inherited:
      return {};
    case TFileAccess::AdministratorsOnly:
      return L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)";
    case TFileAccess::UsersReadExecute:
      // 0x1200A9: FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, nothing that writes or deletes.
      return L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)";
  }
  return {};
}
