#include <windows.h>
#include <winsock2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/InstallServer.h"
#include "net/URLDownload.h"
#include "base/Error.h"
#include "win32/TestFiles.h"

using Microsoft::WRL::ComPtr;

namespace {

// What one session's events delivered, in order.
struct TEventLog {
  struct TProgress {
    ULONG ProgressMax;
    ULONG Progress;
    std::string StatusText;
  };
  std::vector<std::string> Starts;
  std::vector<TProgress> Notifications;
  std::vector<std::string> StopErrorTexts;  // ErrorText as the stop handler found it
  std::vector<TURLDownload*> Senders;
  std::vector<char> Order;  // 's'tart, 'p'rogress, 'e'nd
  int CancelAt = 0;         // sets Cancel on this progress notification (1-based); 0 = never

  void HandleStart(TURLDownload* Sender, const std::string& URL) {
    Senders.push_back(Sender);
    Starts.push_back(URL);
    Order.push_back('s');
  }
  void HandleStop(TURLDownload* Sender) {
    Senders.push_back(Sender);
    StopErrorTexts.push_back(Sender->ErrorText());
    Order.push_back('e');
  }
  void HandleProgress(TURLDownload* Sender, ULONG ProgressMax, ULONG Progress,
                      const std::string& StatusText, bool& Cancel) {
    Senders.push_back(Sender);
    EXPECT_FALSE(Cancel) << "Cancel is false on entry";
    Notifications.push_back({ProgressMax, Progress, StatusText});
    Order.push_back('p');
    if (static_cast<int>(Notifications.size()) == CancelAt) Cancel = true;
  }

  void Attach(TURLDownload& Session) {
    Session.OnDownloadStart = TDownloadStartEvent(this, &TEventLog::HandleStart);
    Session.OnDownloadStop = TDownloadStopEvent(this, &TEventLog::HandleStop);
    Session.OnDownloadProgress = TDownloadProgressEvent(this, &TEventLog::HandleProgress);
  }
};

// A message that the thread's window receives once the pump has dispatched it.
class TPostedMessage {
 public:
  TPostedMessage() {
    WNDCLASSW Class = {};
    Class.lpfnWndProc = &TPostedMessage::WindowProc;
    Class.hInstance = GetModuleHandleW(nullptr);
    Class.lpszClassName = L"VelquorPumpProbe";
    RegisterClassW(&Class);
    Window_ = CreateWindowW(L"VelquorPumpProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            Class.hInstance, nullptr);
    Dispatched = false;
  }
  ~TPostedMessage() { DestroyWindow(Window_); }
  void Post() { ASSERT_TRUE(PostMessageW(Window_, kMessage, 0, 0)); }

  static inline bool Dispatched = false;

 private:
  static constexpr UINT kMessage = WM_APP + 7;
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM w, LPARAM l) {
    if (Message == kMessage) Dispatched = true;
    return DefWindowProcW(Window, Message, w, l);
  }
  HWND Window_ = nullptr;
};

// Bytes 0..255 over and over, so a shifted, cut or re-encoded copy shows.
std::string Payload(size_t Size) {
  std::string Bytes(Size, '\0');
  for (size_t i = 0; i < Size; ++i) Bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return Bytes;
}

// A loopback port that nothing listens on: bound, then closed again.
int RefusingPort() {
  WSADATA Data;
  WSAStartup(MAKEWORD(2, 2), &Data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in Address = {};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
  int Length = sizeof Address;
  getsockname(s, reinterpret_cast<sockaddr*>(&Address), &Length);
  closesocket(s);
  WSACleanup();
  return ntohs(Address.sin_port);
}

class URLDownloadTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(nullptr); }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    Server.Clear();
    // The service caches by URL: each test's files get names of their own.
    Prefix = testing::UnitTest::GetInstance()->current_test_info()->name() + std::string("-");
    Events.Attach(*Session.Get());
  }

  std::string Serve(const std::string& Name, std::string_view Bytes) {
    Server.Put(Prefix + Name, Bytes);
    return Server.BaseURL() + Prefix + Name;
  }

  TInstallServer Server;
  TTestFolder Folder;
  std::string Prefix;
  ComPtr<TURLDownload> Session = new TURLDownload;
  TEventLog Events;
};

TEST_F(URLDownloadTest, AWholeDownloadLandsByteForByte) {
  const std::string Bytes = Payload(300000);
  Session->URL = Serve("setup.bin", Bytes);
  const std::string Local = Folder / "setup.bin";

  ASSERT_TRUE(Session->Download(Local));
  EXPECT_EQ(Session->FileName(), Local);
  EXPECT_EQ(Session->ErrorText(), "");
  EXPECT_EQ(Session->HttpStatus(), 200u);
  EXPECT_TRUE(ReadBytes(Local) == Bytes);
  EXPECT_EQ(Server.Log(), "GET /program/manager/install/" + Prefix + "setup.bin 200\n");

  // Measured under Wine: connecting, sending the request and the MIME type come with 0 as the
  // maximum; the data notifications then carry the length.
  ASSERT_GE(Events.Notifications.size(), 4u);
  EXPECT_EQ(Events.Notifications[0].ProgressMax, 0u);
  EXPECT_EQ(Events.Notifications[0].StatusText, "127.0.0.1");
  EXPECT_EQ(Events.Notifications.back().ProgressMax, Bytes.size());
  EXPECT_EQ(Events.Notifications.back().Progress, Bytes.size());
  EXPECT_EQ(Events.StopErrorTexts, std::vector<std::string>{""});
}

TEST_F(URLDownloadTest, TheServiceComesFromSystem32) {
  Session->URL = Serve("system.txt", "s");
  ASSERT_TRUE(Session->Download(Folder / "system.txt"));
  wchar_t System[MAX_PATH] = {}, Loaded[MAX_PATH] = {};
  ASSERT_NE(GetSystemDirectoryW(System, MAX_PATH), 0u);
  HMODULE Urlmon = GetModuleHandleW(L"urlmon.dll");
  ASSERT_NE(Urlmon, nullptr);
  ASSERT_NE(GetModuleFileNameW(Urlmon, Loaded, MAX_PATH), 0u);
  EXPECT_EQ(_wcsicmp(Loaded, (std::wstring(System) + L"\\urlmon.dll").c_str()), 0);
}

TEST_F(URLDownloadTest, EventsComeStartProgressStopWithTheSessionAsSender) {
  Session->URL = Serve("order.txt", "ordered");
  ASSERT_TRUE(Session->Download(Folder / "order.txt"));

  const std::string Order(Events.Order.begin(), Events.Order.end());
  EXPECT_EQ(Order.front(), 's');
  EXPECT_EQ(Order.back(), 'e');
  EXPECT_EQ(Order.find_first_not_of('p', 1), Order.size() - 1) << Order;
  for (TURLDownload* Sender : Events.Senders) EXPECT_EQ(Sender, Session.Get());
}

TEST_F(URLDownloadTest, TheStartEventCarriesTheURLNotTheLocalName) {
  Session->URL = Serve("start.txt", "s");
  ASSERT_TRUE(Session->Download(Folder / "local-name.txt"));
  EXPECT_EQ(Events.Starts, std::vector<std::string>{Session->URL});
}

TEST_F(URLDownloadTest, AnEmptyURLReturnsFalseWithoutAnyEventOrRequest) {
  const std::string Local = Folder / "empty.txt";
  EXPECT_FALSE(Session->Download(Local));
  EXPECT_TRUE(Events.Order.empty());
  EXPECT_FALSE(FileExistsA(Local));
  EXPECT_EQ(Session->FileName(), "");
  EXPECT_EQ(Server.Log(), "");
}

TEST_F(URLDownloadTest, ARefusedConnectionReturnsFalse) {
  Session->URL = "http://127.0.0.1:" + std::to_string(RefusingPort()) + "/install.inf";
  const std::string Local = Folder / "refused.inf";
  EXPECT_FALSE(Session->Download(Local));
  EXPECT_FALSE(FileExistsA(Local));
  EXPECT_EQ(Session->FileName(), "");
  EXPECT_EQ(Session->HttpStatus(), 0u);
  EXPECT_EQ(Events.Starts.size(), 1u);
  EXPECT_EQ(Events.StopErrorTexts.size(), 1u);
}

// The service saves an error page as the file and reports success; the session must not.
TEST_F(URLDownloadTest, AnHttpErrorReturnsFalseAndLeavesNoFile) {
  struct TCase {
    const char* Fault;  // "" = the file simply is not there
    DWORD Status;
  };
  const TCase Cases[] = {{"", 404},
                         {"status=404", 404},
                         {"status=403", 403},
                         {"status=500", 500},
                         {"status=503", 503}};
  int Index = 0;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string("fault ") + Case.Fault);
    const std::string Name = Prefix + "error" + std::to_string(++Index) + ".bin";
    if (*Case.Fault) {
      Server.Put(Name, "the real file");
      Server.Fault(Name, Case.Fault);
    }
    ComPtr<TURLDownload> Erring = new TURLDownload;
    Erring->URL = Server.BaseURL() + Name;
    const std::string Local = Folder / Name;
    EXPECT_FALSE(Erring->Download(Local));
    EXPECT_EQ(Erring->HttpStatus(), Case.Status);
    EXPECT_FALSE(FileExistsA(Local));
    EXPECT_EQ(Erring->FileName(), "");
  }
}

// Measured under Wine: the service reports success for a body cut short of its Content-Length.
TEST_F(URLDownloadTest, ABodyCutShortReturnsFalseAndLeavesNoFile) {
  const char* Faults[] = {"reset_after=1000", "reset_after=65536", "length=400000"};
  int Index = 0;
  for (const char* Fault : Faults) {
    SCOPED_TRACE(Fault);
    const std::string Name = "cut" + std::to_string(++Index) + ".bin";
    ComPtr<TURLDownload> Cut = new TURLDownload;
    Cut->URL = Serve(Name, Payload(300000));
    Server.Fault(Prefix + Name, Fault);
    const std::string Local = Folder / Name;
    EXPECT_FALSE(Cut->Download(Local));
    EXPECT_FALSE(FileExistsA(Local));
    EXPECT_EQ(Cut->FileName(), "");
  }
}

TEST_F(URLDownloadTest, ASuccessWithoutAFileAtLocalFileReturnsFalse) {
  Session->URL = Serve("nofolder.bin", "body");
  const std::string Local = Folder / "no such folder\\nofolder.bin";
  EXPECT_FALSE(Session->Download(Local));
  EXPECT_FALSE(FileExistsA(Local));
  EXPECT_EQ(Session->FileName(), "");
}

TEST_F(URLDownloadTest, HangulAndBlanksInThePathReachTheFile) {
  // "설치 파일/한글.txt" in code page 949, as the manifest gives it.
  const std::string Name = "\xBC\xB3\xC4\xA1 \xC6\xC4\xC0\xCF/\xC7\xD1\xB1\xDB.txt";
  Session->URL = Serve(Name, "hangul body");
  const std::string Local = Folder / "hangul.txt";
  ASSERT_TRUE(Session->Download(Local));
  EXPECT_EQ(ReadBytes(Local), "hangul body");
  // The blank goes out percent-encoded and the Hangul bytes as they are.
  EXPECT_EQ(Server.Log(), "GET /program/manager/install/" + Prefix +
                              "\xBC\xB3\xC4\xA1%20\xC6\xC4\xC0\xCF/\xC7\xD1\xB1\xDB.txt 200\n");
}

TEST_F(URLDownloadTest, CancelOnTheThirdProgressStopsTheTransfer) {
  Events.CancelAt = 3;
  Session->URL = Serve("cancel.bin", Payload(300000));
  const std::string Local = Folder / "cancel.bin";
  EXPECT_FALSE(Session->Download(Local));
  EXPECT_EQ(Events.Notifications.size(), 3u);
  EXPECT_EQ(Events.StopErrorTexts.size(), 1u);
  EXPECT_EQ(Session->FileName(), "");
}

TEST_F(URLDownloadTest, AMessagePostedBeforeTheDownloadIsDispatchedInsideIt) {
  TPostedMessage Message;
  Message.Post();
  std::vector<bool> SeenByHandler;
  Session->OnDownloadProgress = TDownloadProgressEvent(
      std::function<void(TURLDownload*, ULONG, ULONG, const std::string&, bool&)>(
          [&](TURLDownload*, ULONG, ULONG, const std::string&, bool&) {
            SeenByHandler.push_back(TPostedMessage::Dispatched);
          }));
  Session->URL = Serve("pump.txt", "pump");
  ASSERT_TRUE(Session->Download(Folder / "pump.txt"));
  // The pump runs after each handler: the first one still finds the message waiting.
  ASSERT_GE(SeenByHandler.size(), 2u);
  EXPECT_FALSE(SeenByHandler[0]);
  EXPECT_TRUE(SeenByHandler[1]);
}

TEST_F(URLDownloadTest, ASecondFailingDownloadKeepsTheFirstFileName) {
  Session->URL = Serve("first.txt", "first");
  const std::string First = Folder / "first.txt";
  ASSERT_TRUE(Session->Download(First));

  Session->URL = Server.BaseURL() + Prefix + "missing.txt";
  EXPECT_FALSE(Session->Download(Folder / "second.txt"));
  EXPECT_EQ(Session->FileName(), First);

  Session->URL = "http://127.0.0.1:" + std::to_string(RefusingPort()) + "/x.txt";
  EXPECT_FALSE(Session->Download(Folder / "third.txt"));
  EXPECT_EQ(Session->FileName(), First);
}

TEST_F(URLDownloadTest, AnErrorInAHandlerStopsTheTransferAndIsRaisedFromDownload) {
  Session->OnDownloadProgress = TDownloadProgressEvent(
      std::function<void(TURLDownload*, ULONG, ULONG, const std::string&, bool&)>(
          [](TURLDownload*, ULONG, ULONG, const std::string&, bool&) {
            throw EInstallerError("handler failed");
          }));
  Session->URL = Serve("throw.bin", Payload(300000));
  try {
    Session->Download(Folder / "throw.bin");
    ADD_FAILURE() << "Download returned";
  } catch (const EInstallerError& e) {
    EXPECT_EQ(e.Message(), "handler failed");
  }
  EXPECT_EQ(Session->FileName(), "");
  // The session is usable again afterwards.
  Session->OnDownloadProgress = {};
  Session->URL = Serve("after.txt", "after");
  EXPECT_TRUE(Session->Download(Folder / "after.txt"));
}

// The callback's methods called as the service would call them.
class BindStatusCallbackTest : public testing::Test {
 protected:
  void SetUp() override {
    Events.Attach(*Session.Get());
    ASSERT_EQ(Session.As(&Callback), S_OK);
  }
  ComPtr<TURLDownload> Session = new TURLDownload;
  ComPtr<IBindStatusCallback> Callback;
  TEventLog Events;
};

TEST_F(BindStatusCallbackTest, ProgressArrivesMaximumFirstAndUnsigned) {
  struct TCase {
    ULONG Progress, ProgressMax;
  };
  const TCase Cases[] = {{100, 400},
                         {0, 0},
                         {2147483648u, 2147483648u},
                         {2147483647u, 4294967295u},
                         {4294967295u, 4294967295u}};
  for (const TCase& Case : Cases) {
    EXPECT_EQ(
        Callback->OnProgress(Case.Progress, Case.ProgressMax, BINDSTATUS_DOWNLOADINGDATA, L"x"),
        S_OK);
    ASSERT_FALSE(Events.Notifications.empty());
    EXPECT_EQ(Events.Notifications.back().ProgressMax, Case.ProgressMax);
    EXPECT_EQ(Events.Notifications.back().Progress, Case.Progress);
  }
}

TEST_F(BindStatusCallbackTest, TextsArriveInTheAnsiCodePageAndEmptyWhenMissing) {
  struct TCase {
    const wchar_t* Text;
    std::string Ansi;
  };
  const TCase Cases[] = {
      {nullptr, ""},
      {L"", ""},
      {L"127.0.0.1", "127.0.0.1"},
      {L"\xD55C\xAE00", "\xC7\xD1\xB1\xDB"},  // 한글
      {L"cut\0here", "cut"},
  };
  for (const TCase& Case : Cases) {
    Callback->OnProgress(1, 2, BINDSTATUS_CONNECTING, Case.Text);
    EXPECT_EQ(Events.Notifications.back().StatusText, Case.Ansi);
    Callback->OnStopBinding(S_OK, Case.Text);
    EXPECT_EQ(Session->ErrorText(), Case.Ansi);
    EXPECT_EQ(Events.StopErrorTexts.back(), Case.Ansi) << "set before the stop handler runs";
  }
}

TEST_F(BindStatusCallbackTest, CancelOnTheThirdNotificationAnswersAbort) {
  Events.CancelAt = 3;
  std::vector<HRESULT> Answers;
  for (int i = 0; i < 4; ++i)
    Answers.push_back(Callback->OnProgress(i, 10, BINDSTATUS_DOWNLOADINGDATA, nullptr));
  // The fourth is answered S_OK again: Cancel starts false at every notification.
  EXPECT_EQ(Answers, (std::vector<HRESULT>{S_OK, S_OK, E_ABORT, S_OK}));
}

TEST_F(BindStatusCallbackTest, WithoutHandlersEveryNotificationIsAnsweredOkAndPumps) {
  ComPtr<TURLDownload> Bare = new TURLDownload;
  TPostedMessage Message;
  Message.Post();
  EXPECT_EQ(Bare->OnStartBinding(0, nullptr), S_OK);
  EXPECT_EQ(Bare->OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, L"x"), S_OK);
  EXPECT_TRUE(TPostedMessage::Dispatched);
  EXPECT_EQ(Bare->OnStopBinding(S_OK, L"e"), S_OK);
  EXPECT_EQ(Bare->ErrorText(), "e");
}

TEST_F(BindStatusCallbackTest, TheOtherNotificationsAnswerOkAndWriteNothing) {
  LONG Priority = 12345;
  DWORD BindFlags = 0xABCD;
  BINDINFO Info = {};
  Info.cbSize = 0x77;
  EXPECT_EQ(Callback->OnStartBinding(0, nullptr), S_OK);
  EXPECT_EQ(Callback->GetPriority(&Priority), S_OK);
  EXPECT_EQ(Callback->OnLowResource(0), S_OK);
  EXPECT_EQ(Callback->GetBindInfo(&BindFlags, &Info), S_OK);
  EXPECT_EQ(Callback->OnDataAvailable(0, 0, nullptr, nullptr), S_OK);
  EXPECT_EQ(Callback->OnObjectAvailable(IID_IUnknown, nullptr), S_OK);
  EXPECT_EQ(Priority, 12345);
  EXPECT_EQ(BindFlags, 0xABCDu);
  EXPECT_EQ(Info.cbSize, 0x77u);
  EXPECT_EQ(Events.Starts, std::vector<std::string>{""});
}

TEST_F(BindStatusCallbackTest, HttpNegotiationAddsNoHeadersAndRecordsTheStatus) {
  ComPtr<IHttpNegotiate> Negotiate;
  ASSERT_EQ(Callback.As(&Negotiate), S_OK);
  LPWSTR Headers = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(Negotiate->BeginningTransaction(L"http://h/", L"", 0, &Headers), S_OK);
  EXPECT_EQ(Headers, nullptr);
  Headers = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(Negotiate->OnResponse(404, L"HTTP/1.0 404 Not Found\r\n", nullptr, &Headers), S_OK);
  EXPECT_EQ(Headers, nullptr);
  EXPECT_EQ(Session->HttpStatus(), 404u);
}

TEST_F(BindStatusCallbackTest, QueryInterfaceAnswersOnlyItsOwnInterfaces) {
  const IID Offered[] = {IID_IUnknown, IID_IBindStatusCallback, IID_IHttpNegotiate};
  for (const IID& Iid : Offered) {
    void* Object = nullptr;
    EXPECT_EQ(Callback->QueryInterface(Iid, &Object), S_OK);
    ASSERT_NE(Object, nullptr);
    static_cast<IUnknown*>(Object)->Release();
  }
  const IID Others[] = {IID_IDispatch,       IID_IStream,       IID_IServiceProvider,
                        IID_IHttpNegotiate2, IID_IAuthenticate, IID_IBindStatusCallbackEx};
  for (const IID& Iid : Others) {
    void* Object = reinterpret_cast<void*>(1);
    EXPECT_EQ(Callback->QueryInterface(Iid, &Object), E_NOINTERFACE);
    EXPECT_EQ(Object, nullptr);
  }
}

TEST(URLDownloadLifetimeTest, TheCountStartsAtZeroAndItsLastReleaseDestroys) {
  // The session's handlers die with it: a captured guard tells when that happens.
  auto Alive = std::make_shared<int>(0);
  std::weak_ptr<int> Watch = Alive;
  TURLDownload* Session = new TURLDownload;
  Session->OnDownloadStop =
      TDownloadStopEvent(std::function<void(TURLDownload*)>([Alive](TURLDownload*) {}));
  Alive.reset();

  EXPECT_EQ(Session->AddRef(), 1u);
  IUnknown* Unknown = nullptr;
  ASSERT_EQ(Session->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&Unknown)), S_OK);
  EXPECT_EQ(Unknown->AddRef(), 3u);
  EXPECT_EQ(Unknown->Release(), 2u);
  EXPECT_EQ(Unknown->Release(), 1u);
  EXPECT_FALSE(Watch.expired());
  EXPECT_EQ(Session->Release(), 0u);
  EXPECT_TRUE(Watch.expired());
}

// The service itself never gives a text with success; a second stop notification, sent from
// the handler of its own, stands in for it.
TEST_F(URLDownloadTest, ASuccessWithAnErrorTextReturnsFalseButSetsFileName) {
  bool Once = false;
  Session->OnDownloadStop =
      TDownloadStopEvent(std::function<void(TURLDownload*)>([&](TURLDownload* Sender) {
        if (std::exchange(Once, true)) return;
        Sender->OnStopBinding(S_OK, L"late error");
      }));
  Session->URL = Serve("errortext.txt", "body");
  const std::string Local = Folder / "errortext.txt";
  EXPECT_FALSE(Session->Download(Local));
  EXPECT_EQ(Session->FileName(), Local);
  EXPECT_EQ(Session->ErrorText(), "late error");
  EXPECT_EQ(ReadBytes(Local), "body");
}

}  // namespace
