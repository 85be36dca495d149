#pragma once
// TURLDownload: one download of one URL into one local file through urlmon's asynchronous URL
// moniker, on the calling (GUI) thread, with the session serving as the binding-status callback.
// The body goes into a temporary file beside the target and replaces it only when whole; a
// download that stops moving is ended by the stall rule (net/StallWatch.h). Part of the unit
// dsInetUtils.

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/CryptoTypes.h"
#include "net/StallWatch.h"

class TBody;
class TBodySink;
class TSha256;

// An event: a method together with its object (or any callable), fired with the sender first.
template <typename... Args>
class TEvent {
 public:
  TEvent() = default;
  template <typename Object>
  TEvent(Object* Instance, void (Object::*Method)(Args...))
      : Handler_([Instance, Method](Args... A) { (Instance->*Method)(std::forward<Args>(A)...); }) {
  }
  explicit TEvent(std::function<void(Args...)> Handler) : Handler_(std::move(Handler)) {}

  explicit operator bool() const noexcept { return static_cast<bool>(Handler_); }
  void operator()(Args... A) const { Handler_(std::forward<Args>(A)...); }

 private:
  std::function<void(Args...)> Handler_;
};

class TURLDownload;
using TDownloadStartEvent = TEvent<TURLDownload* /*Sender*/, const std::string& /*URL*/>;
using TDownloadStopEvent = TEvent<TURLDownload* /*Sender*/>;
using TDownloadProgressEvent =
    TEvent<TURLDownload* /*Sender*/, ULONG /*ProgressMax*/, ULONG /*Progress*/,
           const std::string& /*StatusText*/, bool& /*Cancel*/>;

// A reference-counted COM object: created with a count of zero, destroyed by the Release that
// brings it back to zero. Hold it in a Microsoft::WRL::ComPtr. Needs COM (single-threaded
// apartment) on the calling thread, which must be the thread that runs the messages.
class TURLDownload final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  TURLDownload() = default;
  TURLDownload(const TURLDownload&) = delete;
  TURLDownload& operator=(const TURLDownload&) = delete;

  std::string URL;  // ANSI code page, handed to the service as it is
  TDownloadStartEvent OnDownloadStart;
  TDownloadStopEvent OnDownloadStop;
  TDownloadProgressEvent OnDownloadProgress;
  // How long the download may go without any notification or byte (and the window in which a
  // crawl must keep kMinStallBytesPerSecond) before it is ended.
  DWORD StallTimeoutMs = kStallTimeoutMs;
  // The SHA-256 the body must have: one with another digest is never moved into place.
  std::optional<TSha256Digest> ExpectedDigest;
  // The body's length: a longer one is ended as soon as it passes it, a shorter one refused.
  std::optional<ULONGLONG> ExpectedSize;

  // Downloads URL into LocalFile; all events fire inside, while the thread's messages are
  // handed to the application's dispatcher. False for an empty URL (nothing happens), a failed
  // or stopped transfer, an HTTP error status, a body short of its announced length, a stall,
  // a cancel, a target that can't be replaced, or an error text at the stop. On every false
  // result LocalFile is as it was before. FileName is set only when the body replaced
  // LocalFile, or when the service delivered it whole but stopped with an error text. An error
  // escaping a handler stops the transfer and is raised again from here. The caller holds a
  // reference throughout.
  bool Download(const std::string& LocalFile);
  // Downloads URL into Body (emptied first) instead of a file, with the same events and rules.
  // A body longer than MaxSize ends the transfer as soon as it shows, with false; Body then holds
  // MaxSize + 1 bytes, so the caller can tell a body too long from one that did not come.
  bool Fetch(std::string& Body, std::size_t MaxSize);

  // The LocalFile of the last successful download; empty until then.
  const std::string& FileName() const noexcept { return FileName_; }
  // The error text of the last stop notification, ANSI code page; empty when there was none.
  const std::string& ErrorText() const noexcept { return ErrorText_; }
  // The HTTP status of the last Download's response; 0 when no response came.
  DWORD HttpStatus() const noexcept { return HttpStatus_; }
  // That status when it is an error (400 or above), else 0.
  DWORD HttpErrorStatus() const noexcept {
    return HttpStatus_ >= kFirstHttpErrorStatus ? HttpStatus_ : 0;
  }
  // True when the last Download was ended by the stall rule.
  bool TimedOut() const noexcept { return TimedOut_; }
  // True when the last body was not what was expected: its SHA-256 was not ExpectedDigest (or
  // could not be computed), or its length not ExpectedSize. It was deleted, not installed.
  bool Damaged() const noexcept { return Damaged_; }
  // True when the last body could not be written because the volume is full.
  bool DiskFull() const noexcept { return DiskFull_; }
  // True when the last body arrived whole and as expected but could not replace LocalFile
  // because another program holds it (net/BodySink.h IsTargetInUse).
  bool TargetInUse() const noexcept { return TargetInUse_; }
  // Whether the last Download could not begin because the platform cannot take LocalFile's path
  // (too long a name, a folder that cannot be there); nothing was requested then.
  bool PathRefused() const noexcept { return PathRefused_; }
  // The SHA-256 of the last body that arrived whole, when it was hashed (ExpectedDigest);
  // nothing otherwise.
  const std::optional<TSha256Digest>& Digest() const noexcept { return Digest_; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID Iid, void** Object) noexcept override;
  STDMETHODIMP_(ULONG) AddRef() noexcept override;
  STDMETHODIMP_(ULONG) Release() noexcept override;

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD Reserved, IBinding* Binding) noexcept override;
  STDMETHODIMP GetPriority(LONG* Priority) noexcept override;
  STDMETHODIMP OnLowResource(DWORD Reserved) noexcept override;
  STDMETHODIMP OnProgress(ULONG Progress, ULONG ProgressMax, ULONG StatusCode,
                          LPCWSTR StatusText) noexcept override;
  STDMETHODIMP OnStopBinding(HRESULT Result, LPCWSTR Error) noexcept override;
  STDMETHODIMP GetBindInfo(DWORD* BindFlags, BINDINFO* BindInfo) noexcept override;
  STDMETHODIMP OnDataAvailable(DWORD Flags, DWORD Size, FORMATETC* Format,
                               STGMEDIUM* Medium) noexcept override;
  STDMETHODIMP OnObjectAvailable(REFIID Iid, IUnknown* Object) noexcept override;

  // IHttpNegotiate: the only way to learn the HTTP status, which the service otherwise hides
  // behind a success.
  STDMETHODIMP BeginningTransaction(LPCWSTR URL, LPCWSTR Headers, DWORD Reserved,
                                    LPWSTR* AdditionalHeaders) noexcept override;
  STDMETHODIMP OnResponse(DWORD ResponseCode, LPCWSTR ResponseHeaders, LPCWSTR RequestHeaders,
                          LPWSTR* AdditionalRequestHeaders) noexcept override;

  // Asynchronous, pulled as a stream, and never from or into the cache: an installer must
  // install what the server has now, and the cache would only cost a copy of every body.
  static constexpr DWORD kBindFlags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA |
                                      BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE;

 private:
  ~TURLDownload() = default;  // only the last Release destroys

  // Runs a handler inside a callback; keeps the first error for Download to raise.
  template <typename Body>
  bool Guarded(Body&& body) noexcept;
  // The transfer into Body, shared by Download and Fetch; true when the body arrived whole and
  // as expected (the caller then moves it into place).
  bool Transfer(TBody& Body);
  // Runs the thread's messages until the stop notification, ending a stalled transfer.
  void WaitForStop();
  // Ends the transfer; the stop notification follows.
  void AbortBinding() noexcept;
  void Notified() noexcept;
  // Whether the body is whole and what was expected: the one place that decides it.
  bool Accepted(const TBody& Body);

  static constexpr DWORD kFirstHttpErrorStatus = 400;

  LONG RefCount_ = 0;
  std::string FileName_;
  std::string ErrorText_;
  DWORD HttpStatus_ = 0;
  ULONG AnnouncedSize_ = 0;  // the service's latest non-zero ProgressMax: the Content-Length
  ULONG LastProgress_ = 0;   // the Progress of the latest progress event
  std::exception_ptr HandlerError_;

  // The state of the Download in progress.
  Microsoft::WRL::ComPtr<IBinding> Binding_;  // from the start until Download returns
  std::optional<TStallWatch> Watch_;
  std::vector<BYTE> Buffer_;
  bool Stopped_ = false;
  HRESULT StopResult_ = S_OK;
  bool AbortRequested_ = false;
  bool TimedOut_ = false;
  bool Damaged_ = false;
  bool TargetInUse_ = false;
  bool PathRefused_ = false;
  bool DiskFull_ = false;
  std::optional<TSha256Digest> Digest_;
  TBody* Body_ = nullptr;
  TSha256* Hash_ = nullptr;
  // Set when a binding that was told to abort never stopped: its late calls are ignored.
  bool Abandoned_ = false;
};
