#include "win32/SetupMutex.h"

#include <sddl.h>

namespace {

constexpr wchar_t kNamespace[] = L"VelquorManager";
constexpr wchar_t kMutexInNamespace[] = L"VelquorManager\\Setup";
// Where private namespaces are missing (Wine 8 has none), a session-wide name: the rule still
// holds between setups, only an unelevated program could take the name first.
constexpr wchar_t kGlobalMutex[] = L"Global\\VelquorManager.Setup";
// Administrators and SYSTEM only.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";

struct TBoundaryTraits : TNullIsInvalid<HANDLE> {
  static void Close(Type h) noexcept { DeleteBoundaryDescriptor(h); }
};
using TBoundary = TUniqueHandle<TBoundaryTraits>;

TPrivateNamespace OpenSetupNamespace(SECURITY_ATTRIBUTES& Security) {
  TBoundary Boundary(CreateBoundaryDescriptorW(kNamespace, 0));
  BYTE Sid[SECURITY_MAX_SID_SIZE];
  DWORD SidSize = sizeof Sid;
  if (!Boundary || !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, Sid, &SidSize))
    return {};
  HANDLE Bounded = Boundary.Release();
  const BOOL Added = AddSIDToBoundaryDescriptor(&Bounded, Sid);
  Boundary.Reset(Bounded);
  if (!Added) return {};
  TPrivateNamespace Namespace(CreatePrivateNamespaceW(&Security, Boundary.Get(), kNamespace));
  if (!Namespace && GetLastError() == ERROR_ALREADY_EXISTS)
    Namespace.Reset(OpenPrivateNamespaceW(Boundary.Get(), kNamespace));
  return Namespace;
}

}  // namespace

TSetupMutex::TSetupMutex() {
  TSecurityDescriptor Descriptor;
  SECURITY_ATTRIBUTES Security = {sizeof Security, nullptr, FALSE};
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                           Descriptor.Put(), nullptr))
    Security.lpSecurityDescriptor = Descriptor.Get();
  Namespace_ = OpenSetupNamespace(Security);
  TKernelHandle Mutex(
      CreateMutexW(&Security, FALSE, Namespace_ ? kMutexInNamespace : kGlobalMutex));
  if (Mutex && GetLastError() != ERROR_ALREADY_EXISTS) Mutex_ = std::move(Mutex);
}
