#pragma once
// TURLDownload: one download of one URL into one local file through urlmon's
// URLDownloadToFileA, with the session serving as the service's binding-status callback. Part of
// the unit dsInetUtils.

#include <windows.h>
#include <urlmon.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>

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
// brings it back to zero. Hold it in a Microsoft::WRL::ComPtr. Needs COM on the calling thread.
class TURLDownload final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  TURLDownload() = default;
  TURLDownload(const TURLDownload&) = delete;
  TURLDownload& operator=(const TURLDownload&) = delete;

  std::string URL;  // ANSI code page, handed to the service as it is
  TDownloadStartEvent OnDownloadStart;
  TDownloadStopEvent OnDownloadStop;
  TDownloadProgressEvent OnDownloadProgress;

  // Downloads URL into LocalFile; all events fire inside. False for an empty URL (nothing
  // happens), a failed transfer, an HTTP error status (the error page the service saved is
  // deleted), a success without a file at LocalFile, a file shorter than the size the service
  // announced (deleted: the connection was cut), or an error text at the stop. FileName is set
  // only when the service succeeded and the whole file is there. An error escaping a handler
  // stops the transfer and is raised again from here. The caller holds a reference throughout.
  bool Download(const std::string& LocalFile);

  // The LocalFile of the last successful service call; empty until then.
  const std::string& FileName() const noexcept { return FileName_; }
  // The error text of the last stop notification, ANSI code page; empty when there was none.
  const std::string& ErrorText() const noexcept { return ErrorText_; }
  // The HTTP status of the last Download's response; 0 when no response came.
  DWORD HttpStatus() const noexcept { return HttpStatus_; }
  // That status when it is an error (400 or above), else 0.
  DWORD HttpErrorStatus() const noexcept {
    return HttpStatus_ >= kFirstHttpErrorStatus ? HttpStatus_ : 0;
  }

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

 private:
  ~TURLDownload() = default;  // only the last Release destroys

  // Runs a handler inside a callback; keeps the first error for Download to raise.
  template <typename Body>
  bool Guarded(Body&& body) noexcept;

  static constexpr DWORD kFirstHttpErrorStatus = 400;

  LONG RefCount_ = 0;
  std::string FileName_;
  std::string ErrorText_;
  DWORD HttpStatus_ = 0;
  ULONG AnnouncedSize_ = 0;  // the service's latest non-zero ProgressMax: the Content-Length
  std::exception_ptr HandlerError_;
};
