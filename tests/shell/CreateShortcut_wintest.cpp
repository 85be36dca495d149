// CreateShortcut against the real shell link object and the current user's registry hive in the
// rig's prefix. Every shortcut written is read back through IShellLinkA and handed on to the
// Linux-side lnkinfo check.

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "shell/ShellTestSupport.h"
#include "shell/Shortcut.h"
#include "win32/Error.h"
#include "win32/SystemError.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

namespace {

const std::string kShellFolders =
    "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kGrpConv = "Software\\MicroSoft\\Windows\\CurrentVersion\\GrpConv";
const std::string kUntouched = "untouched";

class TComEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // Wine's shell writes its own "Shell Folders" values the first time a link resolves its
    // target: let that happen before the tests set theirs.
    Microsoft::WRL::ComPtr<IShellLinkA> Warm;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Warm));
    if (Warm) Warm->SetPath("C:\\windows\\notepad.exe");
    ClearLnkinfoRecords();
  }
  void TearDown() override { CoUninitialize(); }
};
testing::Environment* const kCom = testing::AddGlobalTestEnvironment(new TComEnvironment);

class CreateShortcutTest : public testing::Test {
 protected:
  TTestFolder Root;
  std::string Apps = Root / "Apps\\";
  std::string Target = Apps + "tool.exe";
  std::string Desk = Root / "Desk";
  TScopedRegValue DesktopValue{kShellFolders, "Desktop"};
  TScopedRegValue StartMenuValue{kShellFolders, "Start Menu"};
  std::string LinkPath = kUntouched;

  void SetUp() override {
    CreateDirectoryA(Apps.c_str(), nullptr);
    CreateDirectoryA(Desk.c_str(), nullptr);
    WriteBytes(Target, "MZ");
    DesktopValue.Set(Desk);
  }

  // The shortcut is there and holds what we expect, by IShellLinkA and then by lnkinfo.
  void ExpectLink(const std::string& Path, const TLinkFields& Expected) {
    ASSERT_TRUE(FileExistsA(Path)) << Path;
    const TLinkFields Read = ReadLink(Path);
    EXPECT_EQ(Read.Target, Expected.Target);
    EXPECT_EQ(Read.WorkingDir, Expected.WorkingDir);
    EXPECT_EQ(Read.Arguments, Expected.Arguments);
    EXPECT_EQ(Read.Description, Expected.Description);
    RecordLinkForLnkinfo(Path, Expected);
  }
};

TEST_F(CreateShortcutTest, WritesTheDesktopShortcutWithTheTargetsFolderAsWorkingDirectory) {
  CreateShortcut(Target, slDesktop, "", "", "", "", LinkPath);
  EXPECT_EQ(LinkPath, Desk + "\\tool.lnk");
  ExpectLink(LinkPath, {Target, Apps, "", ""});
}

TEST_F(CreateShortcutTest, StoresArgumentsHangulDescriptionAndAnExplicitWorkingDirectory) {
  const std::string HangulDesk = Root / Utf8ToAnsi("바탕 화면");
  ASSERT_TRUE(CreateDirectoryA(HangulDesk.c_str(), nullptr));
  DesktopValue.Set(HangulDesk);
  const std::string Description = Utf8ToAnsi("Harlune Velquor 매니저");
  const std::string Work = Root.Path() + "Work";
  CreateShortcut(Target, slDesktop, "", Work, "/silent \"a b\"", Description, LinkPath);
  EXPECT_EQ(LinkPath, HangulDesk + "\\tool.lnk");
  ExpectLink(LinkPath, {Target, Work, "/silent \"a b\"", Description});
}

TEST_F(CreateShortcutTest, NamesTheShortcutAfterTheTargetWithoutItsExtension) {
  struct TCase {
    std::string Relative;  // below Root
    std::string LinkName;
  };
  const TCase Cases[] = {
      {"Apps\\tool", "tool.lnk"},
      {"Apps.old\\tool", "tool.lnk"},
      {"Apps\\tool.beta.exe", "tool.beta.lnk"},
      {Utf8ToAnsi("게임\\도구.exe"), Utf8ToAnsi("도구.lnk")},
  };
  for (const TCase& c : Cases) {
    const std::string CaseTarget = Root / c.Relative;
    const std::string Folder = CaseTarget.substr(0, CaseTarget.rfind('\\') + 1);
    CreateDirectoryA(Folder.c_str(), nullptr);
    WriteBytes(CaseTarget, "MZ");
    CreateShortcut(CaseTarget, slDesktop, "", "", "", "", LinkPath);
    EXPECT_EQ(LinkPath, Desk + "\\" + c.LinkName);
    ExpectLink(LinkPath, {CaseTarget, Folder, "", ""});
  }
}

TEST_F(CreateShortcutTest, PutsTheShortcutIntoAStartMenuSubFolderThatExists) {
  const std::string Menu = Root / "Menu";
  ASSERT_TRUE(CreateDirectoryA((Menu + "\\Tools").c_str(), nullptr) ||
              (CreateDirectoryA(Menu.c_str(), nullptr) &&
               CreateDirectoryA((Menu + "\\Tools").c_str(), nullptr)));
  StartMenuValue.Set(Menu);
  CreateShortcut(Target, slStartMenu, "Tools", "", "", "", LinkPath);
  EXPECT_EQ(LinkPath, Menu + "\\Tools\\tool.lnk");
  ExpectLink(LinkPath, {Target, Apps, "", ""});
}

TEST_F(CreateShortcutTest, NamesButDoesNotCreateAMissingSubFolder) {
  const std::string Menu = Root / "Menu";
  ASSERT_TRUE(CreateDirectoryA(Menu.c_str(), nullptr));
  StartMenuValue.Set(Menu);
  EXPECT_NO_THROW(CreateShortcut(Target, slStartMenu, "Missing", "", "", "", LinkPath));
  EXPECT_EQ(LinkPath, Menu + "\\Missing\\tool.lnk");
  EXPECT_EQ(GetFileAttributesA((Menu + "\\Missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CreateShortcutTest, CustomLocationIsTheSubFolderItself) {
  const std::string Links = Root / "Links";
  ASSERT_TRUE(CreateDirectoryA(Links.c_str(), nullptr));
  CreateShortcut(Target, slCustom, Links, "", "", "", LinkPath);
  EXPECT_EQ(LinkPath, Links + "\\tool.lnk");
  ExpectLink(LinkPath, {Target, Apps, "", ""});
}

TEST_F(CreateShortcutTest, CustomLocationWithoutAFolderWritesNothing) {
  CreateShortcut(Target, slCustom, "", "", "", "", LinkPath);
  EXPECT_EQ(LinkPath, kUntouched);
  EXPECT_FALSE(FileExistsA("\\tool.lnk"));
}

TEST_F(CreateShortcutTest, AFolderEndingInABackslashGetsAnotherOne) {
  DesktopValue.Set(Desk + "\\");
  CreateShortcut(Target, slDesktop, "", "", "", "", LinkPath);
  EXPECT_EQ(LinkPath, Desk + "\\\\tool.lnk");
  ExpectLink(Desk + "\\tool.lnk", {Target, Apps, "", ""});
}

TEST_F(CreateShortcutTest, AMissingOrEmptyFolderValueWritesNothingAndRaisesNothing) {
  DesktopValue.Delete();
  EXPECT_NO_THROW(CreateShortcut(Target, slDesktop, "", "", "", "", LinkPath));
  EXPECT_EQ(LinkPath, kUntouched);
  DesktopValue.Set("");
  EXPECT_NO_THROW(CreateShortcut(Target, slDesktop, "", "", "", "", LinkPath));
  EXPECT_EQ(LinkPath, kUntouched);
  EXPECT_FALSE(FileExistsA(Desk + "\\tool.lnk"));
}

TEST_F(CreateShortcutTest, QuickLaunchCreatesTheGrpConvKeyAndFindsNoFolder) {
  const TScopedAbsentKey NoGrpConv(kGrpConv);
  ASSERT_FALSE(RegKeyExists(kGrpConv));
  EXPECT_NO_THROW(CreateShortcut(Target, slQuickLaunch, "", "", "", "", LinkPath));
  EXPECT_TRUE(RegKeyExists(kGrpConv));
  EXPECT_EQ(RegKeyEntries(kGrpConv), 0u);
  EXPECT_EQ(LinkPath, kUntouched);
}

TEST_F(CreateShortcutTest, AnExpandableFolderValueIsUsedUnexpanded) {
  const TScopedEnv Env("VELQUOR_DESK", Desk.c_str());
  DesktopValue.Set("%VELQUOR_DESK%", REG_EXPAND_SZ);
  CreateShortcut(Target, slDesktop, "", "", "", "", LinkPath);
  EXPECT_EQ(LinkPath, "%VELQUOR_DESK%\\tool.lnk");
  EXPECT_FALSE(FileExistsA(Desk + "\\tool.lnk"));
}

TEST_F(CreateShortcutTest, AnEmptyTargetGivesTheLinkNameDotLnkAndAnEmptyPath) {
  CreateShortcut("", slDesktop, "", "", "", "", LinkPath);
  EXPECT_EQ(LinkPath, Desk + "\\.lnk");
  ExpectLink(LinkPath, {"", "", "", ""});
}

TEST_F(CreateShortcutTest, AFolderValueThatIsNoStringRaisesAndWritesNothing) {
  DesktopValue.SetDword(1);
  try {
    CreateShortcut(Target, slDesktop, "", "", "", "", LinkPath);
    FAIL() << "no error raised";
  } catch (const EInstallerError& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'Desktop'");
  }
  EXPECT_EQ(LinkPath, kUntouched);
  EXPECT_FALSE(FileExistsA(Desk + "\\tool.lnk"));
}

// A stand-in for the shell link class, registered in this process for the length of a test:
// either its factory fails, or its object offers only some of the interfaces.
class TFakeLinkObject : public IUnknown {
 public:
  ULONG Refs = 0;
  Microsoft::WRL::ComPtr<IUnknown> Real;  // answers for IShellLinkA when set
  STDMETHODIMP QueryInterface(REFIID Id, void** Out) override {
    *Out = nullptr;
    if (Id == IID_IUnknown) {
      *Out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (Id == __uuidof(IShellLinkA) && Real) return Real->QueryInterface(Id, Out);
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++Refs; }
  STDMETHODIMP_(ULONG) Release() override { return --Refs; }
};

class TFakeLinkFactory : public IClassFactory {
 public:
  HRESULT CreateResult = S_OK;
  TFakeLinkObject Object;
  STDMETHODIMP QueryInterface(REFIID Id, void** Out) override {
    *Out = nullptr;
    if (Id == IID_IUnknown || Id == IID_IClassFactory) {
      *Out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown*, REFIID Id, void** Out) override {
    *Out = nullptr;
    if (FAILED(CreateResult)) return CreateResult;
    return Object.QueryInterface(Id, Out);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

class CreateShortcutFakeTest : public CreateShortcutTest {
 protected:
  TFakeLinkFactory Factory;
  DWORD Cookie = 0;
  Microsoft::WRL::ComPtr<IUnknown> RealLink;
  void SetUp() override {
    CreateShortcutTest::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(RealLink.GetAddressOf())),
              S_OK);
    ASSERT_EQ(CoRegisterClassObject(CLSID_ShellLink, &Factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &Cookie),
              S_OK);
  }
  void TearDown() override { CoRevokeClassObject(Cookie); }

  std::string ErrorOfCreate() {
    try {
      CreateShortcut(Target, slDesktop, "", "", "", "", LinkPath);
    } catch (const EInstallerError& e) {
      return e.Message();
    }
    return "no error raised";
  }
};

TEST_F(CreateShortcutFakeTest, AnObjectThatCannotBeCreatedRaisesThePlatformsTextOrTheCode) {
  Factory.CreateResult = E_OUTOFMEMORY;
  const std::string Text = ErrorOfCreate();
  EXPECT_EQ(Text, SysErrorMessage(static_cast<unsigned long>(E_OUTOFMEMORY)));
  EXPECT_NE(Text.rfind("System error", 0), 0u) << "the platform has a text for this code";

  Factory.CreateResult = static_cast<HRESULT>(0x8004DEADu);
  EXPECT_EQ(ErrorOfCreate(), "OLE error 8004dead");
  EXPECT_EQ(LinkPath, kUntouched);
}

TEST_F(CreateShortcutFakeTest, AnObjectLackingAnInterfaceRaisesAndIsReleased) {
  EXPECT_EQ(ErrorOfCreate(), "Interface not supported");
  EXPECT_EQ(Factory.Object.Refs, 0u);

  // IShellLinkA alone is not enough: without IPersistFile nothing can be written.
  Factory.Object.Real = RealLink;
  EXPECT_EQ(ErrorOfCreate(), "Interface not supported");
  EXPECT_EQ(Factory.Object.Refs, 0u);
  EXPECT_EQ(LinkPath, kUntouched);
  EXPECT_FALSE(FileExistsA(Desk + "\\tool.lnk"));
}

}  // namespace
