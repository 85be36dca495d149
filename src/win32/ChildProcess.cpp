#include "win32/ChildProcess.h"

#include "win32/Handle.h"

namespace {

HANDLE AsHandle(std::uint64_t Value) {
  return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(Value));
}
std::uint64_t AsValue(HANDLE Handle) { return reinterpret_cast<UINT_PTR>(Handle); }

}  // namespace

DWORD RunForResult(const std::function<std::wstring(std::uint64_t, std::uint64_t)>& CommandLine,
                   DWORD CodeIfNone) {
  SECURITY_ATTRIBUTES Inherited = {sizeof Inherited, nullptr, TRUE};
  TKernelHandle Read, Write, Self;
  if (!CreatePipe(Read.Put(), Write.Put(), &Inherited, sizeof(DWORD))) return CodeIfNone;
  // Only the write end and the handle to this process go to the child.
  SetHandleInformation(Read.Get(), HANDLE_FLAG_INHERIT, 0);
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), Self.Put(),
                       SYNCHRONIZE, TRUE, 0))
    return CodeIfNone;
  std::wstring Line = CommandLine(AsValue(Write.Get()), AsValue(Self.Get()));
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Started = {};
  if (!CreateProcessW(nullptr, Line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &Startup,
                      &Started))
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

void ReportResult(std::uint64_t Pipe, DWORD Code) {
  const TKernelHandle Write(AsHandle(Pipe));
  DWORD Written = 0;
  WriteFile(Write.Get(), &Code, sizeof Code, &Written, nullptr);
}

void WaitForParent(std::uint64_t Parent, DWORD TimeoutMs) {
  const TKernelHandle Process(AsHandle(Parent));
  WaitForSingleObject(Process.Get(), TimeoutMs);
}
