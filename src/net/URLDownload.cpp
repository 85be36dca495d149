// TURLDownload on urlmon's asynchronous URL moniker, loaded from System32 when first needed.

#include "net/URLDownload.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "net/BodySink.h"
#include "win32/Cng.h"
#include "win32/MessagePump.h"
#include "win32/SystemLibrary.h"
#include "win32/Text.h"

using Microsoft::WRL::ComPtr;

namespace {

struct TUrlmon {
  decltype(&::CreateURLMonikerEx) CreateURLMonikerEx = nullptr;
  decltype(&::CreateAsyncBindCtx) CreateAsyncBindCtx = nullptr;
};

// The module stays loaded for the program's life, and is never freed: the service keeps threads
// of its own, which would run on in unloaded code if the exit's static destructors freed it
// (measured under Wine: a page fault on execute at every exit after a download).
const TUrlmon& Urlmon() {
  static const HMODULE Module = LoadSystemLibrary(L"urlmon.dll").Release();
  static const TUrlmon Entries{
      GetProcedure<decltype(&::CreateURLMonikerEx)>(Module, "CreateURLMonikerEx"),
      GetProcedure<decltype(&::CreateAsyncBindCtx)>(Module, "CreateAsyncBindCtx")};
  return Entries;
}

// How much of the body one read takes from the service's stream.
constexpr ULONG kReadSize = 64 * 1024;
// A binding told to abort stops within moments; one that does not is left behind after this.
constexpr ULONGLONG kAbortGraceMs = 10000;

// The platform's texts end at their first zero; a missing one is empty.
std::string AnsiFromPlatform(LPCWSTR Text) {
  return Text ? WideToAnsi(std::wstring_view(Text)) : std::string();
}

DWORD WaitTime(ULONGLONG Ms) { return static_cast<DWORD>(std::min<ULONGLONG>(Ms, INFINITE - 1)); }

}  // namespace

bool TURLDownload::Download(const std::string& LocalFile) {
  TargetInUse_ = DiskFull_ = PathRefused_ = false;
  if (URL.empty()) return false;
  TBodySink Sink;
  if (!Sink.Open(AnsiToWide(LocalFile))) {
    PathRefused_ = Sink.PathRefused();
    return false;
  }
  if (!Transfer(Sink)) {
    DiskFull_ = Sink.DiskFull();
    return false;  // the sink deletes the body
  }
  if (!ErrorText_.empty()) {
    FileName_ = LocalFile;
    return false;
  }
  if (!Sink.Commit()) {
    TargetInUse_ = Sink.TargetInUse();
    return false;
  }
  FileName_ = LocalFile;
  return true;
}

bool TURLDownload::Fetch(std::string& Body, std::size_t MaxSize) {
  Body.clear();
  if (URL.empty()) return false;
  TMemoryBody Memory(Body, MaxSize);
  return Transfer(Memory) && ErrorText_.empty();
}

bool TURLDownload::Transfer(TBody& Body) {
  const TUrlmon& Service = Urlmon();
  if (!Service.CreateURLMonikerEx || !Service.CreateAsyncBindCtx) return false;

  HttpStatus_ = 0;
  AnnouncedSize_ = LastProgress_ = 0;
  Stopped_ = AbortRequested_ = TimedOut_ = Abandoned_ = Damaged_ = false;
  StopResult_ = S_OK;
  Digest_.reset();
  ComPtr<IMoniker> Moniker;
  ComPtr<IBindCtx> Context;
  // Legacy parsing, as URLDownloadToFile does: the address reaches the server as it was given.
  if (FAILED(
          Service.CreateURLMonikerEx(nullptr, AnsiToWide(URL).c_str(), &Moniker, URL_MK_LEGACY)) ||
      FAILED(Service.CreateAsyncBindCtx(0, this, nullptr, &Context)))
    return false;

  std::optional<TSha256> Hash;
  if (ExpectedDigest) Hash.emplace();
  Buffer_.resize(kReadSize);
  Body_ = &Body;
  Hash_ = Hash ? &*Hash : nullptr;
  Watch_.emplace(GetTickCount64(), StallTimeoutMs);
  ComPtr<IStream> Stream;
  const HRESULT Bound = Moniker->BindToStorage(Context.Get(), nullptr, IID_IStream,
                                               reinterpret_cast<void**>(Stream.GetAddressOf()));
  // A bind that failed at once has either stopped already or never started.
  if (SUCCEEDED(Bound)) WaitForStop();
  Stream.Reset();
  Binding_.Reset();
  Body_ = nullptr;
  Hash_ = nullptr;
  Watch_.reset();
  if (HandlerError_) std::rethrow_exception(std::exchange(HandlerError_, nullptr));
  if (Hash) Digest_ = Hash->Finish();
  return Accepted(Body);
}

bool TURLDownload::Accepted(const TBody& Body) {
  // Every byte the server announced (more is whole too: the service decodes a compressed body as
  // it reads it), a stop without failure, abort or error status.
  const bool Whole = Stopped_ && StopResult_ == S_OK && !AbortRequested_ &&
                     HttpErrorStatus() == 0 && Body.Size() >= AnnouncedSize_;
  if (!Whole) return false;
  // A body that can't be hashed fails closed, like one that does not match.
  Damaged_ = (ExpectedSize && Body.Size() != *ExpectedSize) ||
             (ExpectedDigest && Digest_ != ExpectedDigest);
  return !Damaged_;
}

void TURLDownload::WaitForStop() {
  ULONGLONG GiveUpAt = 0;
  while (!Stopped_) {
    const ULONGLONG Now = GetTickCount64();
    if (!AbortRequested_ && Watch_->Stalled(Now)) {
      TimedOut_ = true;
      AbortBinding();
    }
    ULONGLONG Wait = Watch_->MsUntilCheck(Now);
    if (AbortRequested_) {
      if (GiveUpAt == 0) GiveUpAt = Now + kAbortGraceMs;
      if (Now >= GiveUpAt) {
        Abandoned_ = true;
        return;
      }
      Wait = GiveUpAt - Now;
    }
    const ULONGLONG UntilPaint = MsUntilPaint(Now);
    if (UntilPaint > 0) Wait = std::min(Wait, UntilPaint);
    MsgWaitForMultipleObjectsEx(0, nullptr, WaitTime(Wait),
                                UntilPaint == 0 ? QS_ALLINPUT : QS_ALLINPUT & ~QS_PAINT,
                                MWMO_INPUTAVAILABLE);
    HandleWaitingMessages(Now + Wait, Stopped_);
  }
}

void TURLDownload::AbortBinding() noexcept {
  if (AbortRequested_ || Stopped_) return;
  AbortRequested_ = true;
  if (!Binding_) return;
  // The binding may stop, and drop its last other reference, inside Abort.
  const ComPtr<IBinding> Binding = Binding_;
  Binding->Abort();
}

void TURLDownload::Notified() noexcept {
  if (Watch_) Watch_->Notified(GetTickCount64());
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

STDMETHODIMP TURLDownload::OnStartBinding(DWORD, IBinding* Binding) noexcept {
  if (Abandoned_) return E_ABORT;
  Binding_ = Binding;
  Notified();
  const bool Ok = Guarded([&] {
    if (OnDownloadStart) OnDownloadStart(this, std::string(URL));
  });
  // Refusing the start stops the binding; Abort must not be called in here.
  return Ok ? S_OK : E_ABORT;
}

STDMETHODIMP TURLDownload::GetPriority(LONG*) noexcept { return S_OK; }

STDMETHODIMP TURLDownload::OnLowResource(DWORD) noexcept { return S_OK; }

STDMETHODIMP TURLDownload::OnProgress(ULONG Progress, ULONG ProgressMax, ULONG,
                                      LPCWSTR StatusText) noexcept {
  if (Abandoned_) return E_ABORT;
  Notified();
  bool Cancel = false;
  if (ProgressMax != 0) AnnouncedSize_ = ProgressMax;
  LastProgress_ = Progress;
  const bool Ok = Guarded([&] {
    const std::string Text = AnsiFromPlatform(StatusText);
    if (OnDownloadProgress) OnDownloadProgress(this, ProgressMax, Progress, Text, Cancel);
  });
  if (Ok && !Cancel) return S_OK;
  // The asynchronous binding may ignore this answer (Wine's does): stop it here as well.
  AbortBinding();
  return E_ABORT;
}

STDMETHODIMP TURLDownload::OnStopBinding(HRESULT Result, LPCWSTR Error) noexcept {
  if (Abandoned_) return S_OK;
  Stopped_ = true;
  StopResult_ = Result;
  Guarded([&] {
    ErrorText_ = AnsiFromPlatform(Error);
    if (OnDownloadStop) OnDownloadStop(this);
  });
  return S_OK;
}

STDMETHODIMP TURLDownload::GetBindInfo(DWORD* BindFlags, BINDINFO* BindInfo) noexcept {
  if (!BindFlags || !BindInfo) return E_INVALIDARG;
  *BindFlags = kBindFlags;
  // Zeroed is a plain GET without extra data; the caller's size stays.
  const ULONG Size = BindInfo->cbSize;
  ZeroMemory(BindInfo, std::min<size_t>(Size, sizeof(BINDINFO)));
  BindInfo->cbSize = Size;
  return S_OK;
}

STDMETHODIMP TURLDownload::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* Medium) noexcept {
  if (Abandoned_ || !Body_ || !Medium || Medium->tymed != TYMED_ISTREAM || !Medium->pstm)
    return S_OK;
  // The service asks again only once the stream is drained.
  for (;;) {
    ULONG Read = 0;
    const HRESULT Result = Medium->pstm->Read(Buffer_.data(), kReadSize, &Read);
    if (Read > 0) {
      // Past its length, a body is refused at once: a server cannot fill the disk with it.
      if (ExpectedSize && Read > *ExpectedSize - std::min(*ExpectedSize, Body_->Size())) {
        Damaged_ = true;
        AbortBinding();
        return E_FAIL;
      }
      if (!Body_->Write(Buffer_.data(), Read)) {
        AbortBinding();
        return E_FAIL;
      }
      if (Hash_) Hash_->Update(Buffer_.data(), Read);
      Watch_->Received(GetTickCount64(), Read);
    }
    // E_PENDING: more comes with a later notification; S_FALSE: the end; a failure: the stop
    // notification tells.
    if (Result != S_OK || Read == 0) break;
  }
  // The service's last notification counted what it had then; the drain often took more. Say
  // what arrived, so a transfer that stops after a burst shows how far it came.
  const ULONG Received = static_cast<ULONG>(std::min<ULONGLONG>(Body_->Size(), ULONG_MAX));
  if (Received <= LastProgress_) return S_OK;
  return OnProgress(Received, AnnouncedSize_, BINDSTATUS_DOWNLOADINGDATA, nullptr);
}

STDMETHODIMP TURLDownload::OnObjectAvailable(REFIID, IUnknown*) noexcept { return S_OK; }

STDMETHODIMP TURLDownload::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                LPWSTR* AdditionalHeaders) noexcept {
  Notified();
  if (AdditionalHeaders) *AdditionalHeaders = nullptr;
  return S_OK;
}

STDMETHODIMP TURLDownload::OnResponse(DWORD ResponseCode, LPCWSTR, LPCWSTR,
                                      LPWSTR* AdditionalRequestHeaders) noexcept {
  Notified();
  HttpStatus_ = ResponseCode;
  if (AdditionalRequestHeaders) *AdditionalRequestHeaders = nullptr;
  return S_OK;
}
