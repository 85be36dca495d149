#include <windows.h>
#include <winsock2.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/BodySink.h"
#include "net/InstallServer.h"
#include "net/URLDownload.h"
#include "win32/Cng.h"
#include "base/Error.h"
#include "win32/MessagePump.h"
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

// Stands in for the application while installed: counts what it is handed, then handles it as
// the application's loop would. With a window to repaint, every timer tick asks for a repaint.
class TRecordingDispatcher final : public TMessageDispatcher {
 public:
  TRecordingDispatcher() { SetMessageDispatcher(this); }
  ~TRecordingDispatcher() override { SetMessageDispatcher(nullptr); }
  void HandleMessage(const MSG& Msg) noexcept override {
    ++Count[Msg.message];
    if (Msg.message == WM_TIMER && Repaint) InvalidateRect(Repaint, nullptr, TRUE);
    TranslateMessage(&Msg);
    DispatchMessageW(&Msg);
  }
  std::map<UINT, int> Count;
  HWND Repaint = nullptr;
};

// The CPU time this process has used, user and kernel.
std::chrono::milliseconds ProcessTime() {
  FILETIME Created, Exited, Kernel, User;
  GetProcessTimes(GetCurrentProcess(), &Created, &Exited, &Kernel, &User);
  const auto Ticks = [](const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return std::chrono::milliseconds((Ticks(Kernel) + Ticks(User)) / 10000);
}

constexpr char kOldVersion[] = "the version installed before";

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
  WriteBytes(Local, kOldVersion);

  ASSERT_TRUE(Session->Download(Local));
  EXPECT_EQ(Session->FileName(), Local);
  EXPECT_EQ(Session->ErrorText(), "");
  EXPECT_EQ(Session->HttpStatus(), 200u);
  EXPECT_TRUE(ReadBytes(Local) == Bytes);
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
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

// A body that ends with its connection, or that stands behind a redirect, installs as before.
TEST_F(URLDownloadTest, ABodyWithoutALengthOrBehindARedirectLands) {
  for (const char* Fault : {"length=-1", "redirect=1"}) {
    SCOPED_TRACE(Fault);
    const std::string Name = std::string("moved") + Fault[0] + ".bin";
    ComPtr<TURLDownload> Moved = new TURLDownload;
    Moved->URL = Serve(Name, Payload(100000));
    Server.Fault(Prefix + Name, Fault);
    ASSERT_TRUE(Moved->Download(Folder / Name));
    EXPECT_TRUE(ReadBytes(Folder / Name) == Payload(100000));
  }
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
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

TEST_F(URLDownloadTest, ARefusedConnectionOrAnUnknownHostFailsAtOnce) {
  const std::string URLs[] = {"http://127.0.0.1:" + std::to_string(RefusingPort()) + "/x.inf",
                              "http://no-such-host.invalid/x.inf"};
  for (const std::string& URL : URLs) {
    SCOPED_TRACE(URL);
    TEventLog Log;
    ComPtr<TURLDownload> Failing = new TURLDownload;
    Log.Attach(*Failing.Get());
    Failing->URL = URL;
    const std::string Local = Folder / "refused.inf";
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Failing->Download(Local));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
    EXPECT_FALSE(FileExistsA(Local));
    EXPECT_EQ(Log.Starts.size(), 1u);
    EXPECT_EQ(Log.StopErrorTexts.size(), 1u);
  }
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
}

// The service reports success for an error page and (measured under Wine) for a body cut short
// of its Content-Length; neither may take the place of what stood at LocalFile.
TEST_F(URLDownloadTest, AFailedDownloadLeavesTheTargetAsItWas) {
  struct TCase {
    const char* Fault;  // "" = the file simply is not there
    DWORD Status;       // 0: a reset may come before the headers are read
  };
  const TCase Cases[] = {{"", 404},
                         {"status=404", 404},
                         {"status=403", 403},
                         {"status=500", 500},
                         {"status=503", 503},
                         {"reset_after=1000", 0},
                         {"reset_after=65536", 0},
                         {"length=400000", 200}};
  int Index = 0;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string("fault ") + Case.Fault);
    const std::string Name = Prefix + "broken" + std::to_string(++Index) + ".bin";
    if (*Case.Fault) {
      Server.Put(Name, Payload(300000));
      Server.Fault(Name, Case.Fault);
    }
    ComPtr<TURLDownload> Broken = new TURLDownload;
    Broken->URL = Server.BaseURL() + Name;
    const std::string Local = Folder / Name;
    WriteBytes(Local, kOldVersion);
    EXPECT_FALSE(Broken->Download(Local));
    if (Case.Status) {
      EXPECT_EQ(Broken->HttpStatus(), Case.Status);
    }
    EXPECT_EQ(ReadBytes(Local), kOldVersion);
    EXPECT_EQ(Broken->FileName(), "");
  }
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
}

// A target that another program holds open (read sharing only, as a running program holds its
// files) refuses the move: the download says the target is in use and the file stays whole. A
// folder at the target fails as any other refusal. What Wine cannot show (a running program's
// image, a read-only file, which Wine replaces) is in the rule's own table below.
TEST_F(URLDownloadTest, ATargetHeldByAnotherProgramIsInUseAndStaysWhole) {
  const std::string Held = Folder / "held.dll";
  WriteBytes(Held, kOldVersion);
  Session->URL = Serve("held.dll", "the new version");
  {
    const TFileHandle Holder(CreateFileA(Held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(Holder);
    EXPECT_FALSE(Session->Download(Held));
    EXPECT_TRUE(Session->TargetInUse());
  }
  EXPECT_EQ(ReadBytes(Held), kOldVersion);
  const std::string Standing = Folder / "folder.dll";
  ASSERT_TRUE(CreateDirectoryA(Standing.c_str(), nullptr));
  Session->URL = Serve("folder.dll", "the new version");
  EXPECT_FALSE(Session->Download(Standing));
  EXPECT_FALSE(Session->TargetInUse());
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
}

TEST(TargetInUseRule, OnlyAHoldOnAPlainFileCounts) {
  const struct {
    DWORD Error;
    DWORD Attributes;
    bool InUse;
  } Cases[] = {
      {ERROR_SHARING_VIOLATION, FILE_ATTRIBUTE_ARCHIVE, true},
      {ERROR_LOCK_VIOLATION, FILE_ATTRIBUTE_NORMAL, true},
      {ERROR_USER_MAPPED_FILE, FILE_ATTRIBUTE_ARCHIVE, true},
      {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_ARCHIVE, true},  // a running program's image
      {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, false},
      {ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, false},
      {ERROR_SHARING_VIOLATION, FILE_ATTRIBUTE_DIRECTORY, false},
      {ERROR_SHARING_VIOLATION, INVALID_FILE_ATTRIBUTES, false},
      {ERROR_DISK_FULL, FILE_ATTRIBUTE_ARCHIVE, false},
      {ERROR_PATH_NOT_FOUND, FILE_ATTRIBUTE_ARCHIVE, false},
  };
  for (const auto& c : Cases)
    EXPECT_EQ(IsTargetInUse(c.Error, c.Attributes), c.InUse) << c.Error << " " << c.Attributes;
}

// The body is hashed as it streams in and replaces the target only with the expected SHA-256.
TEST_F(URLDownloadTest, AnExpectedDigestDecidesWhetherTheBodyReplacesTheTarget) {
  const std::string Bytes = Payload(200000);
  TSha256 Hash;
  Hash.Update(Bytes.data(), Bytes.size());
  const TSha256Digest Right = *Hash.Finish();
  TSha256Digest Wrong = Right;
  Wrong.back() ^= 1;
  const std::string URL = Serve("checked.bin", Bytes);
  const std::string Local = Folder / "checked.bin";
  for (const bool Matches : {false, true}) {
    SCOPED_TRACE(Matches ? "matches" : "does not match");
    WriteBytes(Local, kOldVersion);
    ComPtr<TURLDownload> Checked = new TURLDownload;
    Checked->URL = URL;
    Checked->ExpectedDigest = Matches ? Right : Wrong;
    EXPECT_EQ(Checked->Download(Local), Matches);
    EXPECT_EQ(Checked->Damaged(), !Matches);
    EXPECT_EQ(Checked->Digest(), Right);
    EXPECT_TRUE(ReadBytes(Local) == (Matches ? Bytes : std::string(kOldVersion)));
  }
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
}

// A signature is fetched into memory: kept whole up to its size, refused as soon as it is longer.
TEST_F(URLDownloadTest, FetchKeepsASmallBodyInMemoryAndRefusesALongerOne) {
  const struct {
    const char* Name;
    std::string Bytes;
    bool Arrives;
    size_t Kept;
  } Cases[] = {{"exact.sig", std::string(64, 's'), true, 64},
               {"short.sig", std::string(10, 's'), true, 10},
               {"long.sig", Payload(300000), false, 65}};
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Name);
    ComPtr<TURLDownload> Fetch = new TURLDownload;
    Fetch->URL = Serve(c.Name, c.Bytes);
    std::string Body = "stale";
    EXPECT_EQ(Fetch->Fetch(Body, 64), c.Arrives);
    EXPECT_TRUE(Body == c.Bytes.substr(0, c.Kept));
  }
  ComPtr<TURLDownload> Missing = new TURLDownload;
  Missing->URL = Server.BaseURL() + Prefix + "missing.sig";
  std::string Body;
  EXPECT_FALSE(Missing->Fetch(Body, 64));
  EXPECT_EQ(Missing->HttpStatus(), 404u);
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

// The binding does not stop for the answer alone (Wine's asynchronous one ignores it): no
// notification may follow the one that cancelled.
TEST_F(URLDownloadTest, CancelOnTheThirdProgressStopsTheTransfer) {
  Events.CancelAt = 3;
  Session->URL = Serve("cancel.bin", Payload(300000));
  const std::string Local = Folder / "cancel.bin";
  WriteBytes(Local, kOldVersion);
  EXPECT_FALSE(Session->Download(Local));
  EXPECT_EQ(Events.Notifications.size(), 3u);
  EXPECT_EQ(Events.StopErrorTexts.size(), 1u);
  EXPECT_EQ(Session->FileName(), "");
  EXPECT_EQ(ReadBytes(Local), kOldVersion);
}

// While the download waits, every message goes to the application's dispatcher, a quit message
// too (it marks the application as ending and stops nothing).
TEST_F(URLDownloadTest, WhileItWaitsEveryMessageGoesToTheApplication) {
  TRecordingDispatcher Application;
  TPostedMessage Message;
  bool DispatchedBeforeTheStop = false;
  Session->OnDownloadStart =
      TDownloadStartEvent(std::function<void(TURLDownload*, const std::string&)>(
          [&](TURLDownload*, const std::string&) {
            Message.Post();
            PostQuitMessage(0);
          }));
  Session->OnDownloadStop = TDownloadStopEvent(std::function<void(TURLDownload*)>(
      [&](TURLDownload*) { DispatchedBeforeTheStop = TPostedMessage::Dispatched; }));
  Session->URL = Serve("pump.bin", Payload(300000));
  EXPECT_TRUE(Session->Download(Folder / "pump.bin"));
  EXPECT_TRUE(DispatchedBeforeTheStop);
  EXPECT_EQ(Application.Count[WM_QUIT], 1);
}

// A server that goes silent, or crawls, after part of the body: the stall rule ends the
// transfer while timers and paints keep being handled (paints once a frame at most, and the
// wait burns no CPU), and the file that stood there stays.
TEST_F(URLDownloadTest, AStallEndsTheDownloadWithFalseWhileMessagesKeepComing) {
  using namespace std::chrono_literals;
  const HWND Window = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                      40, 20, nullptr, nullptr, nullptr, nullptr);
  int Index = 0;
  for (const char* Fault : {"stall=20&stall_after=100000", "throttle=200"}) {
    SCOPED_TRACE(Fault);
    TRecordingDispatcher Application;
    Application.Repaint = Window;
    TEventLog Log;
    ComPtr<TURLDownload> Stalled = new TURLDownload;
    Log.Attach(*Stalled.Get());
    Stalled->StallTimeoutMs = 2000;
    const std::string Name = "stall" + std::to_string(++Index) + ".bin";
    Stalled->URL = Serve(Name, Payload(300000));
    Server.Fault(Prefix + Name, Fault);
    const std::string Local = Folder / Name;
    WriteBytes(Local, kOldVersion);
    const UINT_PTR Timer = SetTimer(nullptr, 0, 10, nullptr);
    const auto Start = std::chrono::steady_clock::now();
    const auto Busy = ProcessTime();
    EXPECT_FALSE(Stalled->Download(Local));
    const auto Took = std::chrono::steady_clock::now() - Start;
    EXPECT_LT(ProcessTime() - Busy, Took / 2);
    KillTimer(nullptr, Timer);
    EXPECT_TRUE(Stalled->TimedOut());
    EXPECT_GE(Took, 2s);
    EXPECT_LT(Took, 6s);
    const std::string Order(Log.Order.begin(), Log.Order.end());
    EXPECT_EQ(Order.find_first_not_of('p', 1), Order.size() - 1) << Order;
    EXPECT_EQ(Order.front(), 's');
    EXPECT_EQ(ReadBytes(Local), kOldVersion);
    EXPECT_GE(Application.Count[WM_TIMER], 20);
    EXPECT_GE(Application.Count[WM_PAINT], 10);
    EXPECT_LE(Application.Count[WM_PAINT] * 2, Application.Count[WM_TIMER]);
    // The bar shows how far the body came before the silence.
    if (Index == 1) {
      EXPECT_EQ(Log.Notifications.back().Progress, 100000u);
    }
  }
  DestroyWindow(Window);
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
}

// A killed run can leave its temporary file behind; the next clears such files before it
// writes into their folder, and nothing else.
TEST_F(URLDownloadTest, LeftoversOfAKilledRunGoBeforeTheFirstWrite) {
  for (const char* Name : {"~vq1A2B.tmp", "~VQ0.TMP"}) WriteBytes(Folder / Name, "left");
  const char* Kept[] = {"~vqx.tmp", "~vq12345.tmp", "~vq1.tmpx", "mine.tmp"};
  for (const char* Name : Kept) WriteBytes(Folder / Name, "kept");
  Session->URL = Serve("after.bin", "after");
  ASSERT_TRUE(Session->Download(Folder / "after.bin"));
  EXPECT_FALSE(FileExistsA(Folder / "~vq1A2B.tmp"));
  EXPECT_FALSE(FileExistsA(Folder / "~VQ0.TMP"));
  for (const char* Name : Kept) EXPECT_TRUE(FileExistsA(Folder / Name)) << Name;
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

TEST_F(BindStatusCallbackTest, WithoutHandlersEveryNotificationIsAnsweredOk) {
  ComPtr<TURLDownload> Bare = new TURLDownload;
  TPostedMessage Message;
  Message.Post();
  EXPECT_EQ(Bare->OnStartBinding(0, nullptr), S_OK);
  EXPECT_EQ(Bare->OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, L"x"), S_OK);
  // Notifications arrive from inside the service's own message handling: they never pump.
  EXPECT_FALSE(TPostedMessage::Dispatched);
  EXPECT_EQ(Bare->OnStopBinding(S_OK, L"e"), S_OK);
  EXPECT_EQ(Bare->ErrorText(), "e");
}

TEST_F(BindStatusCallbackTest, TheBindIsAsynchronousUncachedAndAPlainGet) {
  LONG Priority = 12345;
  DWORD BindFlags = 0;
  BINDINFO Info;
  memset(&Info, 0xAB, sizeof Info);  // what the service then frees must not be garbage
  Info.cbSize = sizeof Info;
  EXPECT_EQ(Callback->OnStartBinding(0, nullptr), S_OK);
  EXPECT_EQ(Callback->GetPriority(&Priority), S_OK);
  EXPECT_EQ(Callback->OnLowResource(0), S_OK);
  EXPECT_EQ(Callback->GetBindInfo(&BindFlags, &Info), S_OK);
  EXPECT_EQ(Callback->OnDataAvailable(0, 0, nullptr, nullptr), S_OK);
  EXPECT_EQ(Callback->OnObjectAvailable(IID_IUnknown, nullptr), S_OK);
  EXPECT_EQ(Priority, 12345);
  EXPECT_EQ(BindFlags, static_cast<DWORD>(BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA |
                                          BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE));
  EXPECT_EQ(Info.cbSize, sizeof Info);
  EXPECT_EQ(Info.dwBindVerb, static_cast<DWORD>(BINDVERB_GET));
  EXPECT_EQ(Info.szExtraInfo, nullptr);
  EXPECT_EQ(Info.stgmedData.tymed, static_cast<DWORD>(TYMED_NULL));
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
// the handler of its own, stands in for it. FileName is set, but nothing replaces LocalFile.
TEST_F(URLDownloadTest, ASuccessWithAnErrorTextReturnsFalseButSetsFileName) {
  bool Once = false;
  Session->OnDownloadStop =
      TDownloadStopEvent(std::function<void(TURLDownload*)>([&](TURLDownload* Sender) {
        if (std::exchange(Once, true)) return;
        Sender->OnStopBinding(S_OK, L"late error");
      }));
  Session->URL = Serve("errortext.txt", "body");
  const std::string Local = Folder / "errortext.txt";
  WriteBytes(Local, kOldVersion);
  EXPECT_FALSE(Session->Download(Local));
  EXPECT_EQ(Session->FileName(), Local);
  EXPECT_EQ(Session->ErrorText(), "late error");
  EXPECT_EQ(ReadBytes(Local), kOldVersion);
  EXPECT_EQ(Leftovers(Folder.Path()), std::set<std::string>{});
}

}  // namespace
