// The download floor for the install benchmark: fetches a list of URLs with URLDownloadToFileA,
// no callback, one after the other, and prints how long the whole list took.
//   bench_bare_download LIST [--callback]
// --callback passes a status callback shaped like the installer's (IHttpNegotiate answered, the
// thread's messages pumped at every progress notification, no window): the step between the
// floor and the installer, which tells the service's share of a cost from the window's.
// LIST holds one "URL<TAB>local path" line per file (ANSI). Parent folders are made first, as
// the installer makes them, since urlmon needs the folder to exist.

#include <windows.h>
#include <urlmon.h>
#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

void CreateParentFolders(const std::string& Path) {
  for (size_t At = Path.find('\\', 3); At != std::string::npos; At = Path.find('\\', At + 1))
    CreateDirectoryA(Path.substr(0, At).c_str(), nullptr);
}

class TPumpingCallback final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  STDMETHODIMP QueryInterface(REFIID Iid, void** Object) noexcept override {
    if (Iid == IID_IUnknown || Iid == IID_IBindStatusCallback)
      *Object = static_cast<IBindStatusCallback*>(this);
    else if (Iid == IID_IHttpNegotiate)
      *Object = static_cast<IHttpNegotiate*>(this);
    else {
      *Object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  // Lives on the stack for the whole run: the count only has to be honest, not to free.
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++Count_; }
  STDMETHODIMP_(ULONG) Release() noexcept override { return --Count_; }

  STDMETHODIMP OnStartBinding(DWORD, IBinding*) noexcept override { return S_OK; }
  STDMETHODIMP GetPriority(LONG*) noexcept override { return S_OK; }
  STDMETHODIMP OnLowResource(DWORD) noexcept override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) noexcept override {
    MSG Message;
    while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) noexcept override { return S_OK; }
  STDMETHODIMP GetBindInfo(DWORD*, BINDINFO*) noexcept override { return S_OK; }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) noexcept override {
    return S_OK;
  }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) noexcept override { return S_OK; }

  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* Additional) noexcept override {
    if (Additional) *Additional = nullptr;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD, LPCWSTR, LPCWSTR, LPWSTR* Additional) noexcept override {
    if (Additional) *Additional = nullptr;
    return S_OK;
  }

 private:
  ULONG Count_ = 1;
};

double NowMs() {
  LARGE_INTEGER Frequency, Count;
  QueryPerformanceFrequency(&Frequency);
  QueryPerformanceCounter(&Count);
  return 1000.0 * static_cast<double>(Count.QuadPart) / static_cast<double>(Frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool WithCallback = argc == 3 && std::wstring(argv[2]) == L"--callback";
  if (argc != 2 && !WithCallback) {
    std::fprintf(stderr, "usage: bench_bare_download LIST [--callback]\n");
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> Files;
  std::ifstream List(argv[1]);
  for (std::string Line; std::getline(List, Line);) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    const size_t Tab = Line.find('\t');
    if (Tab != std::string::npos) Files.emplace_back(Line.substr(0, Tab), Line.substr(Tab + 1));
  }
  if (Files.empty()) {
    std::fprintf(stderr, "bench_bare_download: empty list\n");
    return 2;
  }

  // The installer runs its downloads in a single-threaded apartment; so does the floor.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  TPumpingCallback Callback;
  IBindStatusCallback* const Status = WithCallback ? &Callback : nullptr;
  int Failed = 0;
  const double Start = NowMs();
  for (const auto& [URL, LocalFile] : Files) {
    CreateParentFolders(LocalFile);
    if (FAILED(URLDownloadToFileA(nullptr, URL.c_str(), LocalFile.c_str(), 0, Status))) ++Failed;
  }
  const double Elapsed = NowMs() - Start;
  CoUninitialize();
  PROCESS_MEMORY_COUNTERS Memory = {};
  Memory.cb = sizeof Memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &Memory, sizeof Memory);
  std::printf("bare bare_ms=%.1f files=%zu failed=%d peak_ws=%zu\n", Elapsed, Files.size(), Failed,
              Memory.PeakWorkingSetSize);
  return Failed == 0 ? 0 : 1;
}
