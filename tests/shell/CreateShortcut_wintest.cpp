// CreateShortcut against the real shell link object and the current user's registry hive in the
// rig's prefix. Every shortcut written is read back through IShellLinkA and recorded for the
// Linux-side lnkinfo check (check_lnkinfo.py), which reads the same four fields independently.

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <optional>

#include "shell/Shortcut.h"
#include "base/Error.h"
#include "win32/Handle.h"
#include "win32/SystemError.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

using Microsoft::WRL::ComPtr;

namespace {

const std::string kShellFolders =
    "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kGrpConv = "Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv";
const std::string kUntouched = "untouched";

TRegKey UserKey(const std::string& Path, bool Create = true) {
  TRegKey Key;
  if (Create) {
    RegCreateKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    Key.Put(), nullptr);
  } else if (RegOpenKeyExA(HKEY_CURRENT_USER, Path.c_str(), 0, KEY_ALL_ACCESS, Key.Put()) != 0) {
    Key.Release();
  }
  return Key;
}

// One value under the current user's Shell Folders, put back as it was when the test ends.
class TScopedFolderValue {
 public:
  explicit TScopedFolderValue(std::string Name) : Name_(std::move(Name)) {
    DWORD Size = 0;
    if (RegQueryValueExA(UserKey(kShellFolders).Get(), Name_.c_str(), nullptr, &Type_, nullptr,
                         &Size) == ERROR_SUCCESS) {
      Saved_.emplace(Size, '\0');
      RegQueryValueExA(UserKey(kShellFolders).Get(), Name_.c_str(), nullptr, &Type_,
                       reinterpret_cast<BYTE*>(Saved_->data()), &Size);
    }
  }
  ~TScopedFolderValue() {
    if (Saved_) Set(Saved_->c_str(), Type_, Saved_->size());
    if (!Saved_) RegDeleteValueA(UserKey(kShellFolders).Get(), Name_.c_str());
  }
  void Set(const void* Data, DWORD Type, size_t Size) {
    RegSetValueExA(UserKey(kShellFolders).Get(), Name_.c_str(), 0, Type,
                   static_cast<const BYTE*>(Data), static_cast<DWORD>(Size));
  }
  void Set(const std::string& Text, DWORD Type = REG_SZ) {
    Set(Text.c_str(), Type, Text.size() + 1);
  }

 private:
  std::string Name_;
  DWORD Type_ = REG_SZ;
  std::optional<std::string> Saved_;
};

struct TLinkFields {
  std::string Target, WorkingDir, Arguments, Description;
};

TLinkFields ReadLink(const std::string& LinkPath) {
  ComPtr<IShellLinkA> Link;
  ComPtr<IPersistFile> File;
  char Buffer[4 * MAX_PATH] = {};
  TLinkFields Fields;
  if (FAILED(
          CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Link))) ||
      FAILED(Link.As(&File)) || FAILED(File->Load(AnsiToWide(LinkPath).c_str(), STGM_READ))) {
    ADD_FAILURE() << "cannot load " << LinkPath;
    return Fields;
  }
  Link->GetPath(Buffer, sizeof Buffer, nullptr, SLGP_RAWPATH);
  Fields.Target = Buffer;
  Link->GetWorkingDirectory(Buffer, sizeof Buffer);
  Fields.WorkingDir = Buffer;
  Link->GetArguments(Buffer, sizeof Buffer);
  Fields.Arguments = Buffer;
  Link->GetDescription(Buffer, sizeof Buffer);
  Fields.Description = Buffer;
  return Fields;
}

// The folder that the harness gave for lnkinfo records (a Linux path, on drive Z: here); ""
// when the suite runs by hand.
std::string RecordsFolder() {
  char Buffer[4 * MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("VELQUOR_LNKINFO_RECORDS", Buffer, sizeof Buffer);
  if (n == 0 || n >= sizeof Buffer) return {};
  std::string Folder = std::string("Z:") + Buffer + "\\";
  for (char& c : Folder)
    if (c == '/') c = '\\';
  return Folder;
}

void RecordForLnkinfo(const std::string& LinkPath, const TLinkFields& f) {
  static const std::string Folder = RecordsFolder();
  static int Count = 0;
  if (Folder.empty()) return;
  const std::string Name = std::to_string(++Count) + ".lnk";
  ASSERT_TRUE(CopyFileA(LinkPath.c_str(), (Folder + Name).c_str(), FALSE));
  const std::string List = Folder + "expected.tsv";
  WriteBytes(List, (Count > 1 ? ReadBytes(List) : "") + Name + "\t" + AnsiToUtf8(f.Target) + "\t" +
                       AnsiToUtf8(f.WorkingDir) + "\t" + AnsiToUtf8(f.Arguments) + "\t" +
                       AnsiToUtf8(f.Description) + "\n");
}

class TComEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // Wine's shell writes its own Shell Folders values the first time a link resolves a target:
    // let that happen before the tests set theirs.
    ComPtr<IShellLinkA> Warm;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Warm));
    if (Warm) Warm->SetPath("C:\\windows\\notepad.exe");
    const std::string Folder = RecordsFolder();
    if (!Folder.empty()) {
      CreateDirectoryA(Folder.c_str(), nullptr);
      DeleteFileA((Folder + "expected.tsv").c_str());
    }
  }
  void TearDown() override { CoUninitialize(); }
};
testing::Environment* const kCom = testing::AddGlobalTestEnvironment(new TComEnvironment);

std::string Replace(std::string Text, const std::string& Root) {
  for (size_t At; (At = Text.find('@')) != std::string::npos;) Text.replace(At, 1, Root);
  return Text;
}

// Texts in the cases are UTF-8, "@" standing for the test's root folder (ending in a backslash).
struct TCase {
  const char* Name;
  ShortcutLocation Location;
  const char* ValueName;              // the Shell Folders value the location reads, or ""
  std::optional<std::string> Folder;  // its data; nullopt: the value is missing
  std::string Target, SubFolder, WorkingDir, Arguments, Description;
  std::string LinkPath;  // kUntouched when no folder is found
  bool Written;
  std::string StoredWorkingDir;
};

class CreateShortcutTest : public testing::TestWithParam<TCase> {
 protected:
  TTestFolder Root;
};

TEST_P(CreateShortcutTest, WritesWhereTheFolderRulesSayAndStoresTheFields) {
  const TCase& c = GetParam();
  const auto R = [&](const std::string& Text) { return Utf8ToAnsi(Replace(Text, Root.Path())); };
  for (const char* Folder :
       {"Apps", "Apps.old", "게임", "Desk", "바탕 화면", "Menu", "Menu\\Tools", "Links"}) {
    CreateDirectoryA(R(std::string("@") + Folder).c_str(), nullptr);
  }
  if (!c.Target.empty()) WriteBytes(R(c.Target), "MZ");
  std::optional<TScopedFolderValue> Value;
  if (*c.ValueName) {
    Value.emplace(c.ValueName);
    if (c.Folder) Value->Set(R(*c.Folder));
    if (!c.Folder) RegDeleteValueA(UserKey(kShellFolders).Get(), c.ValueName);
  }

  std::string LinkPath = kUntouched;
  CreateShortcut(R(c.Target), c.Location, R(c.SubFolder), R(c.WorkingDir), R(c.Arguments),
                 R(c.Description), LinkPath);
  EXPECT_EQ(LinkPath, c.LinkPath == kUntouched ? kUntouched : R(c.LinkPath));
  ASSERT_EQ(FileExistsA(LinkPath), c.Written);
  if (!c.Written) return;
  const TLinkFields Want{R(c.Target), R(c.StoredWorkingDir), R(c.Arguments), R(c.Description)};
  const TLinkFields Got = ReadLink(LinkPath);
  EXPECT_EQ(Got.Target, Want.Target);
  EXPECT_EQ(Got.WorkingDir, Want.WorkingDir);
  EXPECT_EQ(Got.Arguments, Want.Arguments);
  EXPECT_EQ(Got.Description, Want.Description);
  RecordForLnkinfo(LinkPath, Want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateShortcutTest,
    testing::Values(TCase{"Desktop", slDesktop, "Desktop", "@Desk", "@Apps\\tool.exe", "", "", "",
                          "", "@Desk\\tool.lnk", true, "@Apps\\"},
                    TCase{"AllFieldsInHangul", slDesktop, "Desktop", "@바탕 화면",
                          "@게임\\도구.exe", "", "@Links", "/silent \"a b\"",
                          "Harlune Velquor 매니저", "@바탕 화면\\도구.lnk", true, "@Links"},
                    TCase{"NoExtension", slDesktop, "Desktop", "@Desk", "@Apps\\tool", "", "", "",
                          "", "@Desk\\tool.lnk", true, "@Apps\\"},
                    TCase{"DotInFolder", slDesktop, "Desktop", "@Desk", "@Apps.old\\tool", "", "",
                          "", "", "@Desk\\tool.lnk", true, "@Apps.old\\"},
                    TCase{"TwoDots", slDesktop, "Desktop", "@Desk", "@Apps\\tool.beta.exe", "", "",
                          "", "", "@Desk\\tool.beta.lnk", true, "@Apps\\"},
                    TCase{"DoubledBackslash", slDesktop, "Desktop", "@Desk\\", "@Apps\\tool.exe",
                          "", "", "", "", "@Desk\\\\tool.lnk", true, "@Apps\\"},
                    TCase{"StartMenuSubFolder", slStartMenu, "Start Menu", "@Menu",
                          "@Apps\\tool.exe", "Tools", "", "", "", "@Menu\\Tools\\tool.lnk", true,
                          "@Apps\\"},
                    TCase{"MissingSubFolderIsNotMade", slStartMenu, "Start Menu", "@Menu",
                          "@Apps\\tool.exe", "Missing", "", "", "", "@Menu\\Missing\\tool.lnk",
                          false, ""},
                    TCase{"CustomFolder", slCustom, "", "", "@Apps\\tool.exe", "@Links", "", "", "",
                          "@Links\\tool.lnk", true, "@Apps\\"},
                    TCase{"CustomWithoutFolder", slCustom, "", "", "@Apps\\tool.exe", "", "", "",
                          "", kUntouched, false, ""},
                    TCase{"MissingValue", slDesktop, "Desktop", std::nullopt, "@Apps\\tool.exe", "",
                          "", "", "", kUntouched, false, ""},
                    TCase{"EmptyValue", slDesktop, "Desktop", "", "@Apps\\tool.exe", "", "", "", "",
                          kUntouched, false, ""},
                    TCase{"EmptyTarget", slDesktop, "Desktop", "@Desk", "", "", "", "", "",
                          "@Desk\\.lnk", true, ""}),
    [](const testing::TestParamInfo<TCase>& Info) { return std::string(Info.param.Name); });

class CreateShortcutErrors : public testing::Test {
 protected:
  TTestFolder Root;
  std::string Target = Root / "tool.exe";
  std::string LinkPath = kUntouched;
  TScopedFolderValue Desktop{"Desktop"};

  std::string ErrorOf(ShortcutLocation Location = slDesktop) {
    try {
      CreateShortcut(Target, Location, "", "", "", "", LinkPath);
    } catch (const EInstallerError& e) {
      return e.Message();
    }
    return "no error raised";
  }
};

TEST_F(CreateShortcutErrors, QuickLaunchCreatesTheGrpConvKeyAndFindsNoFolder) {
  // The prefix has no GrpConv key; the test leaves it so.
  ASSERT_FALSE(UserKey(kGrpConv, false)) << "the rig's prefix changed";
  EXPECT_EQ(ErrorOf(slQuickLaunch), "no error raised");
  DWORD Entries = 1;
  EXPECT_EQ(RegQueryInfoKeyA(UserKey(kGrpConv, false).Get(), nullptr, nullptr, nullptr, &Entries,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(Entries, 0u);
  EXPECT_EQ(LinkPath, kUntouched);
  RegDeleteTreeA(HKEY_CURRENT_USER, kGrpConv.c_str());
}

TEST_F(CreateShortcutErrors, AFolderValueThatIsNoStringRaisesAndWritesNothing) {
  const DWORD One = 1;
  Desktop.Set(&One, REG_DWORD, sizeof One);
  EXPECT_EQ(ErrorOf(), "Invalid data type for 'Desktop'");
  EXPECT_EQ(LinkPath, kUntouched);
}

// A stand-in for the shell link class, registered in this process for one test: its factory
// fails, or its object offers IUnknown and, when Real is set, IShellLinkA of a real link object.
struct TFakeLink : IUnknown {
  ULONG Refs = 0;
  ComPtr<IUnknown> Real;
  STDMETHODIMP QueryInterface(REFIID Id, void** Out) override {
    *Out = nullptr;
    if (Id == __uuidof(IShellLinkA) && Real) return Real.CopyTo(Id, Out);
    if (Id != IID_IUnknown) return E_NOINTERFACE;
    *Out = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++Refs; }
  STDMETHODIMP_(ULONG) Release() override { return --Refs; }
};

struct TFakeLinkFactory : IClassFactory {
  TFakeLink Link;
  HRESULT CreateResult = S_OK;
  STDMETHODIMP QueryInterface(REFIID Id, void** Out) override {
    *Out = Id == IID_IUnknown || Id == IID_IClassFactory ? this : nullptr;
    return *Out ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID Id, void** Out) override {
    *Out = nullptr;
    return FAILED(CreateResult) ? CreateResult : Link.QueryInterface(Id, Out);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

TEST_F(CreateShortcutErrors, AFailedOrIncompleteLinkObjectRaisesAndIsReleased) {
  TFakeLinkFactory Fake;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(Fake.Link.Real.GetAddressOf())),
            S_OK);
  DWORD Cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_ShellLink, &Fake, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                  &Cookie),
            S_OK);
  Desktop.Set(Root.Path());

  // IShellLinkA alone is not enough: without IPersistFile nothing can be written.
  EXPECT_EQ(ErrorOf(), "Interface not supported");
  EXPECT_EQ(Fake.Link.Refs, 0u);
  Fake.Link.Real.Reset();
  EXPECT_EQ(ErrorOf(), "Interface not supported");
  EXPECT_EQ(Fake.Link.Refs, 0u);

  Fake.CreateResult = E_OUTOFMEMORY;
  const std::string Text = ErrorOf();
  EXPECT_EQ(Text, SysErrorMessage(static_cast<unsigned long>(E_OUTOFMEMORY)));
  EXPECT_NE(Text.rfind("System error", 0), 0u) << "the platform has a text for this code";
  Fake.CreateResult = static_cast<HRESULT>(0x8004DEADu);
  EXPECT_EQ(ErrorOf(), "OLE error 8004dead");

  CoRevokeClassObject(Cookie);
  EXPECT_EQ(LinkPath, kUntouched);
  EXPECT_FALSE(FileExistsA(Root / "tool.lnk"));
}

}  // namespace
