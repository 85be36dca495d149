#include "win32/ChildProcess.h"

#include <memory>

#include "win32/FileSystem.h"
#include "win32/SystemLibrary.h"

namespace {

HANDLE AsHandle(std::uint64_t Value) {
  return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(Value));
}
std::uint64_t AsValue(HANDLE Handle) { return reinterpret_cast<UINT_PTR>(Handle); }

// A handle table's values fit in 32 bits; every pseudo-handle (the current process, thread or
// token) is a small negative number, far above that as an unsigned value.
bool IsTableHandle(std::uint64_t Value) { return Value != 0 && Value <= 0xFFFFFFFFu; }

struct TAttributeListDeleter {
  void operator()(LPPROC_THREAD_ATTRIBUTE_LIST List) const noexcept {
    DeleteProcThreadAttributeList(List);
    delete[] reinterpret_cast<unsigned char*>(List);
  }
};
using TAttributeList = std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, TAttributeListDeleter>;

// An attribute list that lets a child inherit exactly Handles (which must stay open until the
// child is created) and no other inheritable handle of this process.
TAttributeList InheritOnly(HANDLE (&Handles)[2]) {
  SIZE_T Size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &Size);
  auto* Memory = new unsigned char[Size];
  auto* List = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(Memory);
  if (!InitializeProcThreadAttributeList(List, 1, 0, &Size)) {
    delete[] Memory;
    return {};
  }
  TAttributeList Owned(List);
  if (!UpdateProcThreadAttribute(List, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, Handles,
                                 sizeof Handles, nullptr, nullptr))
    return {};
  return Owned;
}

// The id of the process that started this one.
DWORD ParentProcessId() {
  // PROCESS_BASIC_INFORMATION as ntdll fills it; winternl.h hides the member's name.
  struct TBasicInformation {
    LONG ExitStatus;
    PVOID PebBaseAddress;
    ULONG_PTR AffinityMask;
    LONG BasePriority;
    ULONG_PTR UniqueProcessId;
    ULONG_PTR InheritedFromUniqueProcessId;
  };
  using TQueryInformationProcess = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  const auto Query = GetProcedure<TQueryInformationProcess>(GetModuleHandleW(L"ntdll.dll"),
                                                            "NtQueryInformationProcess");
  constexpr ULONG kProcessBasicInformation = 0;
  TBasicInformation Information = {};
  ULONG Length = 0;
  if (!Query || Query(GetCurrentProcess(), kProcessBasicInformation, &Information,
                      sizeof Information, &Length) != 0)
    return 0;
  return static_cast<DWORD>(Information.InheritedFromUniqueProcessId);
}

}  // namespace

DWORD RunForResult(const std::function<std::wstring(std::uint64_t, std::uint64_t)>& CommandLine,
                   DWORD CodeIfNone) {
  SECURITY_ATTRIBUTES Inherited = {sizeof Inherited, nullptr, TRUE};
  TKernelHandle Read, Write, Self;
  if (!CreatePipe(Read.Put(), Write.Put(), &Inherited, sizeof(DWORD))) return CodeIfNone;
  SetHandleInformation(Read.Get(), HANDLE_FLAG_INHERIT, 0);
  // The child waits on this process and reads which program it is, nothing more.
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), Self.Put(),
                       SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
    return CodeIfNone;
  HANDLE Handed[2] = {Write.Get(), Self.Get()};
  const TAttributeList Attributes = InheritOnly(Handed);
  if (!Attributes) return CodeIfNone;
  std::wstring Line = CommandLine(AsValue(Write.Get()), AsValue(Self.Get()));
  STARTUPINFOEXW Startup = {};
  Startup.StartupInfo.cb = sizeof Startup;
  Startup.lpAttributeList = Attributes.get();
  PROCESS_INFORMATION Started = {};
  if (!CreateProcessW(nullptr, Line.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
                      nullptr, nullptr, &Startup.StartupInfo, &Started))
    return CodeIfNone;
  const TKernelHandle Process(Started.hProcess), Thread(Started.hThread);
  // Ours closed, the pipe ends when the child's end does: a child that dies says so.
  Write.Reset();
  Self.Reset();
  DWORD Code = 0, BytesRead = 0;
  if (ReadFile(Read.Get(), &Code, sizeof Code, &BytesRead, nullptr) && BytesRead == sizeof Code)
    return Code;
  return CodeIfNone;
}

TFileHandle HandedOverParentImage(std::uint64_t Pipe, std::uint64_t Parent) {
  if (!IsTableHandle(Pipe) || !IsTableHandle(Parent) || Pipe == Parent ||
      GetFileType(AsHandle(Pipe)) != FILE_TYPE_PIPE)
    return {};
  const DWORD ParentId = ParentProcessId();
  if (ParentId == 0 || GetProcessId(AsHandle(Parent)) != ParentId) return {};
  std::wstring Image(32768, L'\0');
  DWORD Length = static_cast<DWORD>(Image.size());
  if (!QueryFullProcessImageNameW(AsHandle(Parent), 0, Image.data(), &Length)) return {};
  Image.resize(Length);
  return OpenForComparing(Image);
}

void ReportResult(std::uint64_t Pipe, DWORD Code) {
  const TKernelHandle Write(AsHandle(Pipe));
  DWORD Written = 0;
  WriteFile(Write.Get(), &Code, sizeof Code, &Written, nullptr);
}

void WaitForParent(std::uint64_t Parent, DWORD TimeoutMs) {
  const TKernelHandle Process(AsHandle(Parent));
  WaitForSingleObject(Process.Get(), TimeoutMs);
}
