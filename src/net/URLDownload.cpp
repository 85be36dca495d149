// TURLDownload on urlmon's URLDownloadToFileA, loaded from System32 when first needed.

#include "net/URLDownload.h"

#include <optional>
#include <string_view>

#include "win32/MessagePump.h"
#include "win32/SystemLibrary.h"
#include "win32/Text.h"

namespace {

using TURLDownloadToFileA = HRESULT(WINAPI*)(IUnknown* Caller, LPCSTR URL, LPCSTR FileName,
                                             DWORD Reserved, IBindStatusCallback* Callback);

// The module stays loaded for the program's life: the service may keep threads of its own.
TURLDownloadToFileA URLDownloadToFileAEntry() {
  static const TModule Urlmon = LoadSystemLibrary(L"urlmon.dll");
  static const auto Entry = GetProcedure<TURLDownloadToFileA>(Urlmon.Get(), "URLDownloadToFileA");
  return Entry;
}

// The platform's texts end at their first zero; a missing one is empty.
std::string AnsiFromPlatform(LPCWSTR Text) {
  return Text ? WideToAnsi(std::wstring_view(Text)) : std::string();
}

// The size of the file at Name; nullopt when no file (or a folder) stands there.
std::optional<ULONGLONG> FileSize(const std::string& Name) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  if (!GetFileAttributesExA(Name.c_str(), GetFileExInfoStandard, &Data)) return std::nullopt;
  if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return (static_cast<ULONGLONG>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
}

}  // namespace

bool TURLDownload::Download(const std::string& LocalFile) {
  if (URL.empty()) return false;
  const TURLDownloadToFileA URLDownloadToFileA = URLDownloadToFileAEntry();
  if (!URLDownloadToFileA) return false;

  HttpStatus_ = 0;
  AnnouncedSize_ = 0;
  const HRESULT Result = URLDownloadToFileA(nullptr, URL.c_str(), LocalFile.c_str(), 0,
                                            static_cast<IBindStatusCallback*>(this));
  if (HandlerError_) std::rethrow_exception(std::exchange(HandlerError_, nullptr));
  if (Result != S_OK) return false;
  if (HttpErrorStatus()) {
    // The service saved the server's error page as if it were the file.
    DeleteFileA(LocalFile.c_str());
    return false;
  }
  // Under Wine the service even reports success without writing anything when the folder is
  // missing, and for a connection cut short of the announced length.
  const std::optional<ULONGLONG> Size = FileSize(LocalFile);
  if (!Size) return false;
  if (*Size < AnnouncedSize_) {
    DeleteFileA(LocalFile.c_str());
    return false;
  }
  FileName_ = LocalFile;
  return ErrorText_.empty();
}

template <typename Body>
bool TURLDownload::Guarded(Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (...) {
    if (!HandlerError_) HandlerError_ = std::current_exception();
    return false;
  }
}

STDMETHODIMP TURLDownload::QueryInterface(REFIID Iid, void** Object) noexcept {
  if (!Object) return E_POINTER;
  if (Iid == __uuidof(IUnknown) || Iid == __uuidof(IBindStatusCallback)) {
    *Object = static_cast<IBindStatusCallback*>(this);
  } else if (Iid == __uuidof(IHttpNegotiate)) {
    *Object = static_cast<IHttpNegotiate*>(this);
  } else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TURLDownload::AddRef() noexcept {
  return static_cast<ULONG>(InterlockedIncrement(&RefCount_));
}

STDMETHODIMP_(ULONG) TURLDownload::Release() noexcept {
  const LONG Count = InterlockedDecrement(&RefCount_);
  if (Count == 0) delete this;
  return static_cast<ULONG>(Count);
}

STDMETHODIMP TURLDownload::OnStartBinding(DWORD, IBinding*) noexcept {
  const bool Ok = Guarded([&] {
    if (OnDownloadStart) OnDownloadStart(this, std::string(URL));
  });
  return Ok ? S_OK : E_ABORT;
}

STDMETHODIMP TURLDownload::GetPriority(LONG*) noexcept { return S_OK; }

STDMETHODIMP TURLDownload::OnLowResource(DWORD) noexcept { return S_OK; }

STDMETHODIMP TURLDownload::OnProgress(ULONG Progress, ULONG ProgressMax, ULONG,
                                      LPCWSTR StatusText) noexcept {
  bool Cancel = false;
  if (ProgressMax != 0) AnnouncedSize_ = ProgressMax;
  const bool Ok = Guarded([&] {
    const std::string Text = AnsiFromPlatform(StatusText);
    if (OnDownloadProgress) OnDownloadProgress(this, ProgressMax, Progress, Text, Cancel);
    // The window stays painted and responsive only because of this pump, handler or not.
    ProcessMessages();
  });
  return Ok && !Cancel ? S_OK : E_ABORT;
}

STDMETHODIMP TURLDownload::OnStopBinding(HRESULT, LPCWSTR Error) noexcept {
  Guarded([&] {
    ErrorText_ = AnsiFromPlatform(Error);
    if (OnDownloadStop) OnDownloadStop(this);
  });
  return S_OK;
}

STDMETHODIMP TURLDownload::GetBindInfo(DWORD*, BINDINFO*) noexcept { return S_OK; }

STDMETHODIMP TURLDownload::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) noexcept {
  return S_OK;
}

STDMETHODIMP TURLDownload::OnObjectAvailable(REFIID, IUnknown*) noexcept { return S_OK; }

STDMETHODIMP TURLDownload::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                LPWSTR* AdditionalHeaders) noexcept {
  if (AdditionalHeaders) *AdditionalHeaders = nullptr;
  return S_OK;
}

STDMETHODIMP TURLDownload::OnResponse(DWORD ResponseCode, LPCWSTR, LPCWSTR,
                                      LPWSTR* AdditionalRequestHeaders) noexcept {
  HttpStatus_ = ResponseCode;
  if (AdditionalRequestHeaders) *AdditionalRequestHeaders = nullptr;
  return S_OK;
}
