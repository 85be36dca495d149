#pragma once
// One setup at a time: the wizard and the removal of this product each hold a mutex for as long
// as they run. It lives in a private namespace bounded by the Administrators group, so that no
// program of a user who is not elevated can create it first and keep every setup out.

#include <windows.h>

#include "win32/Handle.h"

struct TPrivateNamespaceTraits : TNullIsInvalid<HANDLE> {
  static void Close(Type h) noexcept { ClosePrivateNamespace(h, 0); }
};
using TPrivateNamespace = TUniqueHandle<TPrivateNamespaceTraits>;

class TSetupMutex {
 public:
  // Takes the mutex; Held() is false when another setup of this product runs (or the mutex
  // could not be made, which is taken as the same: nothing may run beside an unknown setup).
  TSetupMutex();
  bool Held() const noexcept { return static_cast<bool>(Mutex_); }

 private:
  TPrivateNamespace Namespace_;  // closed after the mutex: declared first
  TKernelHandle Mutex_;
};
