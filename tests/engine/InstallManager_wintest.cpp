// TInstallManager against the install server fixture, which ctest runs on the install host
// compiled into the program; progress goes into a recording view instead of the window.

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "VelquorManifestKey.h"
#include "engine/InstallManager.h"
#include "engine/ProductFiles.h"
#include "engine/Registration.h"
#include "engine/Removal.h"
#include "shell/Shortcut.h"
#include "net/InstallServer.h"
#include "base/Error.h"
#include "win32/Cng.h"
#include "win32/FileSystem.h"
#include "win32/Handle.h"
#include "win32/RunningImage.h"
#include "win32/TestFiles.h"
#include "win32/Text.h"

namespace {

class RecordingView final : public TProgressView {
 public:
  std::vector<std::string> Counters;
  std::vector<std::string> Sizes;
  std::string CurrentFile;
  double AllMax = 0, AllPos = 0, CurrMax = 0, CurrPos = 0;

  // How the page stood as each counter step began, and at the end (EndRun): what each file left.
  std::vector<std::string> Steps;

  void SetAllFilesText(const std::string& Text) override {
    EndStep();
    Counters.push_back(Text);
  }
  void EndStep() {
    Steps.push_back(CurrentFile + " | " + std::to_string(CurrPos) + " / " +
                    std::to_string(CurrMax) + " | " + std::to_string(AllPos));
  }
  void SetAllFilesBar(double Max, double Position) override { AllMax = Max, AllPos = Position; }
  std::string CurrentFileText() const override { return CurrentFile; }
  void SetCurrentFileText(const std::string& Text) override {
    CurrentFile = Text;
    if (!Text.empty()) Sizes.push_back(Text);
  }
  void SetCurrentFileBar(double Max, double Position) override {
    CurrMax = Max, CurrPos = Position;
  }
};

std::string Upper(std::string Text) {
  CharUpperBuffA(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

class InstallManagerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    // As the installer does first thing: this suite's own program is the image to copy.
    ASSERT_TRUE(HoldRunningImage());
  }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    Server.Clear();
    InstallDir = GetProgramFilesDir() + "\\Harlune\\VelquorManager\\";
    ForgetInstallation();
  }

  void Serve(const std::string& Manifest) { Server.Put("install.inf", Manifest); }

  TInstallServer Server;
  std::string InstallDir;
  RecordingView View;
};

TEST_F(InstallManagerTest, AWholeInstallationLandsEveryFileAndFinishes) {
  const std::string Hangul = Utf8ToAnsi("도움말\\사용 설명서.txt");
  Serve(
      "[info]\r\nlicfile=license.txt\r\nmsgfile=readme.txt\r\n[files]\r\n"
      "1=VelquorManager.exe\r\n2=Update/Lib/b.dll\r\n3=" +
      Hangul + "\r\n");
  const std::string Program(1234567, 'p');
  Server.Put("license.txt", "licence");
  Server.Put("readme.txt", "readme");
  Server.Put("VelquorManager.exe", Program);
  Server.Put("Update/Lib/b.dll", "library");
  Server.Put(Utf8ToAnsi("도움말/사용 설명서.txt"), "help");
  const std::string Script = TempPathA() + "___addfirewall.bat";
  WriteBytes(Script, "@echo off\r\n");

  TInstallManager Manager(View);
  EXPECT_EQ(Manager.GetInstallDir(), InstallDir);
  ASSERT_TRUE(Manager.Run());
  EXPECT_EQ(Manager.Failure().Kind, TInstallFailure::TKind::None);

  EXPECT_EQ(View.Counters, (std::vector<std::string>{"1 / 5", "2 / 5", "3 / 5", "4 / 5", "5 / 5"}));
  EXPECT_EQ(View.AllMax, 5);
  EXPECT_EQ(View.AllPos, 5);
  EXPECT_EQ(View.Sizes.at(3), "1,234,567 Byte");  // manifest, licence, readme, program
  EXPECT_EQ(ReadBytes(InstallDir + "license.txt"), "licence");
  EXPECT_EQ(ReadBytes(InstallDir + "readme.txt"), "readme");
  EXPECT_EQ(ReadBytes(InstallDir + "VelquorManager.exe"), Program);
  EXPECT_EQ(ReadBytes(InstallDir + "Update\\Lib\\b.dll"), "library");
  EXPECT_EQ(ReadBytes(InstallDir + Hangul), "help");
  for (const char* Folder : {"Log", "Update", "Report"})
    EXPECT_TRUE(FolderExistsA(InstallDir + Folder)) << Folder;
  EXPECT_TRUE(FileExistsA(DesktopLink()));
  EXPECT_FALSE(FileExistsA(Script));

  const std::string Log = Server.Log();
  EXPECT_EQ(Requests(Log, "Update/Lib/b.dll"), 1) << Log;
  EXPECT_EQ(Requests(Log, "install.inf"), 1) << Log;
}

TEST_F(InstallManagerTest, TheFirstFailedFileEndsTheRunAndNamesTheFile) {
  Serve("[files]\n1=a.dll\n2=b.dll\n3=c.dll\n");
  Server.Put("a.dll", "a");
  Server.Put("b.dll", "b");
  Server.Put("c.dll", "c");
  Server.Fault("b.dll", "status=404");

  TInstallManager Manager(View);
  EXPECT_FALSE(Manager.Run());
  EXPECT_EQ(FailureText(Manager.Failure()), "파일을 받지 못했습니다: b.dll (HTTP 404)");
  EXPECT_EQ(ReadBytes(InstallDir + "a.dll"), "a");
  EXPECT_FALSE(FileExistsA(InstallDir + "b.dll")) << "the error page was installed";
  EXPECT_FALSE(FileExistsA(InstallDir + "c.dll"));
  EXPECT_EQ(Requests(Server.Log(), "c.dll"), 0);
  EXPECT_FALSE(FileExistsA(DesktopLink()));
  EXPECT_EQ(View.Counters.back(), "4 / 5");
}

// The file installed before stays when its new version stalls; the cause says it timed out.
TEST_F(InstallManagerTest, AStalledFileEndsTheRunAsTimedOutAndKeepsTheInstalledOne) {
  Serve("[files]\n1=b.dll\n");
  Server.Put("b.dll", std::string(100000, 'b'));
  Server.Fault("b.dll", "stall=20&stall_after=1000");
  ForceDirectories(AnsiToWide(InstallDir));
  WriteBytes(InstallDir + "b.dll", "old b");
  TInstallManager Manager(View);
  Manager.StallTimeoutMs = 2000;
  EXPECT_FALSE(Manager.Run());
  EXPECT_EQ(FailureText(Manager.Failure()), "파일을 받지 못했습니다: b.dll (시간 초과)");
  EXPECT_EQ(ReadBytes(InstallDir + "b.dll"), "old b");
}

std::string Release(const std::string& Name);
std::string ReleaseSignature(const std::string& Name);

// A build with the vendor's key installs only what the vendor published: a payload signed at
// configure time with the build tree's test key, served as published or tampered with, and the
// same release published into a site, signed in its last line, with that line tampered with.
TEST_F(InstallManagerTest, WithAKeyOnlyThePublishedPayloadInstalls) {
  ASSERT_NE(kManifestPublicKey, nullptr);
  const std::string Manifest = ReadBytes(std::string(VELQUOR_SIGNED_PAYLOAD) + "install.inf");
  const std::string Site = ReadBytes(VELQUOR_SITE_FIRST), Trailer = Site.substr(Site.size() - 137);
  const auto ServeSite = [&](const std::string& Bytes) {
    return [&, Bytes] {
      Server.PutPublished(VELQUOR_SITE, "releases\\2.0.0.0\\");
      Server.Put("install.inf", Bytes);
    };
  };
  std::string Flipped = Site;
  char& Digit = Flipped[Flipped.size() - 3];  // the signature's last hex digit
  Digit = Digit == '0' ? '1' : '0';
  const char* const kBadSignature = "설치 정보의 서명이 올바르지 않습니다.";
  const std::vector<std::string> kManifestOnly = {"install.inf"};
  struct {
    const char* Name;
    std::function<void()> Tamper;
    const char* Cause;                   // "" for a whole installation
    std::vector<std::string> Requested;  // every request, when the run ends at the manifest
  } const Cases[] = {
      {"as published", [] {}, "", {}},
      {"two trailers", ServeSite(Site + Trailer.substr(2)), kBadSignature, kManifestOnly},
      {"a trailer not at the end", ServeSite(Site + "[x]\r\n"), kBadSignature, kManifestOnly},
      {"bytes added after the trailer", ServeSite(Site + "\r\n"), kBadSignature, kManifestOnly},
      {"a bad signature in the trailer", ServeSite(Flipped), kBadSignature, kManifestOnly},
      {"a file swapped on the server",
       [&] { Server.Put("Update\\b.dll", "a stranger's library"); },
       "파일이 손상되었습니다: Update\\b.dll",
       {}},
      {"the manifest changed by one byte",
       [&] { Server.Put("install.inf", Manifest.substr(0, Manifest.size() - 1) + "x"); },
       "설치 정보의 서명이 올바르지 않습니다.",
       {"install.inf", "install.inf.sig"}},
      {"no signature",
       [&] { Server.Fault("install.inf.sig", "status=404"); },
       "설치 정보의 서명이 올바르지 않습니다.",
       {"install.inf", "install.inf.sig"}},
      {"a release published without sizes",
       [&] {
         Server.Put("install.inf", Release("nosize"));
         Server.Put("install.inf.sig", ReleaseSignature("nosize"));
       },
       "파일이 손상되었습니다: license.txt",
       {"install.inf", "install.inf.sig"}},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Name);
    RemoveTree(InstallDir);
    Server.Clear();
    Server.PutPublished(VELQUOR_SIGNED_PAYLOAD);
    c.Tamper();
    const bool Whole = *c.Cause == 0;
    TInstallManager Manager(View);
    Manager.PublicKey = kManifestPublicKey;
    EXPECT_EQ(Manager.Run(), Whole);
    EXPECT_EQ(FailureText(Manager.Failure()), c.Cause);
    EXPECT_EQ(FileExistsA(InstallDir + "VelquorManager.exe"), Whole);
    const std::string Library = InstallDir + "Update\\b.dll";
    EXPECT_EQ(FileExistsA(Library) ? ReadBytes(Library) : "(none)", Whole ? "library" : "(none)")
        << "a refused file is never moved into the install folder";
    if (!c.Requested.empty()) {
      const std::string Log = Server.Log();
      for (const std::string& Name : c.Requested) EXPECT_EQ(Requests(Log, Name), 1) << Log;
      EXPECT_EQ(std::count(Log.begin(), Log.end(), '\n'), std::ssize(c.Requested)) << Log;
    }
  }
}

// Releases signed at configure time beside the published payload (tests/tools/resign.py): the
// same files under other versions, and one signed by another vendor's key.
std::string Release(const std::string& Name) {
  return ReadBytes(std::string(VELQUOR_RELEASES) + Name + ".inf");
}
std::string ReleaseSignature(const std::string& Name) {
  return ReadBytes(std::string(VELQUOR_RELEASES) + Name + ".inf.sig");
}

// A signed build keeps the verified manifest as the record of what it installed, before the
// first file, with its version as the bound in the registry, and never installs an older
// release over it. Only a record that verifies sets a bound, and what can't be read refuses.
TEST_F(InstallManagerTest, WithAKeyAnOlderReleaseNeverReplacesTheInstalledOne) {
  const char* const kOlder = "설치된 것보다 오래된 버전입니다: ";
  const char* const kUnknown = "설치된 버전을 확인하지 못했습니다.";
  enum TKeptAs { KeptPair, KeptRecord };  // an earlier build's install.inf and .sig, or install.rec
  struct {
    const char* Name;
    const char* Kept;  // the release whose record the install folder holds; nullptr: none
    const char* Offered;
    std::string Cause;  // "" for a whole installation
    TKeptAs As = KeptPair;
    const char* Bound = nullptr;  // the registry's bound beforehand
    bool HeldKept = false;        // the kept record held open without sharing
    bool SpoilKept = false;
    bool Keyless = false;
    bool TornBody = false;  // a killed run's half-written record stands beside it
  } const Cases[] = {
      {"an older release", "v2", "v1", kOlder + std::string("1.0.0.0")},
      {"the same release, written shorter", "v2", "v2short", ""},
      {"a newer release", "v2", "v3", ""},
      {"no version offered", "v2", "none", kOlder + std::string("없음")},
      {"a malformed version offered", "v2", "beta", kOlder + std::string("1.0 beta")},
      {"a record signed by another key", "other", "v1", ""},
      {"a record with a wrong signature", "v2", "v1", "", KeptPair, nullptr, false, true},
      {"a record without a version", "none", "v1", ""},
      {"no record: a first install keeps one", nullptr, "v1", ""},
      {"a build without a key sets no bound", "v2", "v1", "", KeptPair, "2.0", false, false, true},
      {"the record in one file", "v2", "v1", kOlder + std::string("1.0.0.0"), KeptRecord},
      {"a newer release over one", "v2", "v3", "", KeptRecord},
      {"an earlier build's pair held", "v2", "v3", kUnknown, KeptPair, nullptr, true},
      {"the registry's bound, the record held", "v2", "v1", kOlder + std::string("1.0.0.0"),
       KeptRecord, "2.0.0.0", true},
      {"the registry's bound, a newer release", "v2", "v3", "", KeptRecord, "2.0.0.0", true},
      {"the registry's bound over a record signed by another key", "other", "v1",
       kOlder + std::string("1.0.0.0"), KeptRecord, "2.0"},
      {"torn before the move: the old record bounds", "v2", "v1", kOlder + std::string("1.0.0.0"),
       KeptRecord, nullptr, false, false, false, true},
      {"torn after the move: the registry still bounds", "v3", "v2short", "", KeptRecord, "2.0"},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Name);
    RemoveTree(InstallDir);
    ForceDirectories(AnsiToWide(InstallDir));
    SetInstalledBoundValue(c.Bound);
    WriteBytes(InstallDir + "VelquorManager.exe", "the installed program");
    std::string KeptSignature;
    std::string KeptFile = InstallDir + (c.As == KeptPair ? "install.inf" : "install.rec");
    if (c.Kept) {
      KeptSignature = ReleaseSignature(c.Kept);
      if (c.SpoilKept) KeptSignature[10] ^= 1;
      if (c.As == KeptPair) {
        WriteBytes(KeptFile, Release(c.Kept));
        WriteBytes(InstallDir + "install.inf.sig", KeptSignature);
      } else {
        WriteBytes(KeptFile, SignedRecord(Release(c.Kept), KeptSignature));
      }
    }
    if (c.TornBody) WriteBytes(InstallDir + "~vq1F.tmp", Release("v1").substr(0, 40));
    Server.Clear();
    Server.PutPublished(VELQUOR_SIGNED_PAYLOAD);
    Server.Put("install.inf", Release(c.Offered));
    Server.Put("install.inf.sig", ReleaseSignature(c.Offered));

    const bool Whole = c.Cause.empty();
    {
      const TFileHandle Holder(c.HeldKept ? CreateFileA(KeptFile.c_str(), GENERIC_READ, 0, nullptr,
                                                        OPEN_EXISTING, 0, nullptr)
                                          : INVALID_HANDLE_VALUE);
      ASSERT_EQ(static_cast<bool>(Holder), c.HeldKept);
      TInstallManager Manager(View);
      Manager.PublicKey = c.Keyless ? nullptr : kManifestPublicKey;
      EXPECT_EQ(Manager.Run(), Whole);
      EXPECT_EQ(FailureText(Manager.Failure()), c.Cause);
    }
    EXPECT_EQ(ReadBytes(InstallDir + "VelquorManager.exe"),
              Whole ? "program" : "the installed program");
    EXPECT_EQ(Leftovers(InstallDir), std::set<std::string>{});
    const std::string Record =
        FileExistsA(InstallDir + "install.rec") ? ReadBytes(InstallDir + "install.rec") : "(none)";
    if (Whole && !c.HeldKept) {
      const std::string Offered = Release(c.Offered);
      EXPECT_TRUE(Record ==
                  (c.Keyless ? Offered : SignedRecord(Offered, ReleaseSignature(c.Offered))));
    } else if (!Whole && c.As == KeptRecord) {
      EXPECT_TRUE(Record == SignedRecord(Release(c.Kept), KeptSignature)) << "the kept record";
    }
    // The bound follows a verified, well-formed version; a keyless run leaves it as it was.
    const std::map<std::string, std::string> Versions = {
        {"v1", "1.0.0.0"}, {"v2short", "2.0"}, {"v3", "3.0.0.0"}};
    const bool Bounds = Whole && !c.Keyless && Versions.count(c.Offered);
    EXPECT_EQ(InstalledBoundValue(), Bounds    ? Versions.at(c.Offered)
                                     : c.Bound ? c.Bound
                                               : "(none)");
    if (!Whole) {
      const std::string Log = Server.Log();
      EXPECT_EQ(std::count(Log.begin(), Log.end(), '\n'), 2)
          << "only the manifest and its signature\n"
          << Log;
      if (c.As == KeptPair) {
        EXPECT_EQ(ReadBytes(InstallDir + "install.inf.sig"), KeptSignature);
      }
    }
  }
}

// What is installed follows the manifest that was verified, whatever happens to its copy in the
// temporary folder, which any program of the user may change: even into another signed release.
TEST_F(InstallManagerTest, AManifestCopyChangedAfterItsCheckChangesNothingInstalled) {
  Server.PutPublished(VELQUOR_SIGNED_PAYLOAD);
  Server.Put("install.inf", Release("v3"));
  Server.Put("install.inf.sig", ReleaseSignature("v3"));
  TInstallManager Manager(View);
  Manager.PublicKey = kManifestPublicKey;
  std::string Copy;
  Manager.AfterManifestCopied = [&](const std::string& Path) {
    Copy = Path;
    WriteBytes(Path, Release("v1") + "\r\n[files]\r\n9=stranger.exe\r\n");
  };
  ASSERT_TRUE(Manager.Run()) << FailureText(Manager.Failure());
  EXPECT_NE(Copy, "");
  EXPECT_EQ(InstalledBoundValue(), "3.0.0.0");
  EXPECT_EQ(Requests(Server.Log(), "stranger.exe"), 0);
  EXPECT_TRUE(ReadBytes(InstallDir + "install.rec") ==
              SignedRecord(Release("v3"), ReleaseSignature("v3")));
}

std::string Sha256Hex(std::string_view Bytes) {
  TSha256 Hash;
  Hash.Update(Bytes.data(), Bytes.size());
  const TSha256Digest Digest = Hash.Finish().value();
  std::string Hex;
  for (const std::uint8_t Byte : Digest) {
    char Digits[3];
    std::snprintf(Digits, sizeof Digits, "%02x", Byte);
    Hex += Digits;
  }
  return Hex;
}

// An installed copy that has its published digest is not fetched again: an update fetches what
// differs, what has no digest and what it cannot read, and ends byte for byte as a whole
// installation would, with the page as each download would have left it. A build without a key
// goes by the digests its manifest lists.
TEST_F(InstallManagerTest, AnUpdateFetchesOnlyWhatDiffersFromThePublishedDigest) {
  std::vector<std::pair<std::string, std::string>> Payload = {
      {"license.txt", "licence"}, {"readme.txt", "readme"},  {"held.dll", std::string(5000, 'h')},
      {"empty.dat", ""},          {"Update\\b.dll", "old!"}, {"nodigest.dll", "nd"}};
  const auto Publish = [&] {
    std::string Manifest = "[info]\r\nlicfile=license.txt\r\nmsgfile=readme.txt\r\n[files]\r\n";
    std::string Digests = "[sha256]\r\n";
    for (size_t i = 2; i < Payload.size(); ++i)
      Manifest += std::to_string(i) + "=" + Payload[i].first + "\r\n";
    for (const auto& [Name, Bytes] : Payload) {
      if (Name != "nodigest.dll") Digests += Name + "=" + Sha256Hex(Bytes) + "\r\n";
      Server.Put(Name, Bytes);
    }
    Serve(Manifest + Digests);
  };
  Publish();
  RecordingView Full;
  ASSERT_TRUE(TInstallManager(Full).Run());
  Full.EndStep();

  Server.Clear();
  Payload[4].second = "new!";  // the same size, so the page reads the same
  Publish();
  RecordingView Update;
  {
    // Unchanged, and held as a running program holds its files.
    const TFileHandle Holder(CreateFileA((InstallDir + "held.dll").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(Holder);
    TInstallManager Manager(Update);
    ASSERT_TRUE(Manager.Run()) << FailureText(Manager.Failure());
    Update.EndStep();
  }
  const std::string Log = Server.Log();
  for (const auto& [Name, Bytes] : Payload) {
    const bool Fetched = Name == "Update\\b.dll" || Name == "nodigest.dll";
    std::string Path = Name;
    std::replace(Path.begin(), Path.end(), '\\', '/');
    EXPECT_EQ(Requests(Log, Path), Fetched ? 1 : 0) << Name << "\n" << Log;
    EXPECT_TRUE(ReadBytes(InstallDir + Name) == Bytes) << Name;
  }
  EXPECT_EQ(Update.Steps, Full.Steps);

  // A link to a current copy elsewhere, or another name of one, is no installed copy.
  const std::string Held = InstallDir + "held.dll", Elsewhere = TempPathA() + "held-elsewhere.dll";
  for (const bool Symbolic : {true, false}) {
    SCOPED_TRACE(Symbolic ? "a symbolic link" : "a hard link");
    Server.Clear();
    WriteBytes(Elsewhere, Payload[2].second);
    DeleteFileA(Held.c_str());
    ASSERT_TRUE(Symbolic ? MakeSymbolicLink(Held, Elsewhere)
                         : CreateHardLinkA(Held.c_str(), Elsewhere.c_str(), nullptr));
    ASSERT_TRUE(TInstallManager(View).Run());
    EXPECT_EQ(Requests(Server.Log(), "held.dll"), 1);
    EXPECT_EQ(ReadBytes(Held), Payload[2].second);
    DeleteFileA(Elsewhere.c_str());
  }

  // Its name on disk in another case: its final path is not the one listed, and the path's
  // check then finds it where it is meant all the same.
  // (Wine renames nothing when only the case changes, so it is written anew.)
  Server.Clear();
  ASSERT_TRUE(DeleteFileA(Held.c_str()));
  WriteBytes(InstallDir + "HELD.DLL", Payload[2].second);
  ASSERT_TRUE(TInstallManager(View).Run());
  EXPECT_EQ(Requests(Server.Log(), "held.dll"), 0);

  // Fetched, and failing as any download that cannot replace what stands there.
  const struct {
    const char* Name;
    std::function<TFileHandle()> Arrange;
    const char* Cause;
  } Refusals[] = {
      {"a copy nobody else may read",
       [&] {
         return TFileHandle(CreateFileA((InstallDir + "held.dll").c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
       },
       "파일이 사용 중입니다: held.dll"},
      {"a folder at its path",
       [&] {
         DeleteFileA((InstallDir + "held.dll").c_str());
         CreateDirectoryA((InstallDir + "held.dll").c_str(), nullptr);
         return TFileHandle();
       },
       "파일을 받지 못했습니다: held.dll"},
  };
  for (const auto& Row : Refusals) {
    SCOPED_TRACE(Row.Name);
    Server.Clear();
    const TFileHandle Hold = Row.Arrange();
    TInstallManager Refused(View);
    EXPECT_FALSE(Refused.Run());
    EXPECT_EQ(FailureText(Refused.Failure()), Row.Cause);
    EXPECT_EQ(Requests(Server.Log(), "held.dll"), 1);
  }
}

// A listed size bounds its file: longer or shorter is damaged and nothing of it stays; without a
// key, a missing or malformed size bounds nothing, as before sizes were published.
TEST_F(InstallManagerTest, ASizeBoundsItsFileAndABuildWithoutAKeyGoesWithoutOne) {
  const char* const kDamaged = "파일이 손상되었습니다: a.dll";
  const struct {
    const char* Name;
    const char* SizeLine;
    std::string Body;
    const char* Cause;
  } Cases[] = {
      {"as listed", "a.dll=5", "abcde", ""},
      {"longer", "a.dll=5", "abcdef", kDamaged},
      {"far longer", "a.dll=5", std::string(3 << 20, 'x'), kDamaged},
      {"shorter", "a.dll=5", "abcd", kDamaged},
      {"no size", "b.dll=1", "abcdef", ""},
      {"a malformed size", "a.dll=5 bytes", "abcdef", ""},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Name);
    ForgetInstallation();
    Server.Clear();
    Serve(std::string("[files]\r\n1=a.dll\r\n2=b.dll\r\n[size]\r\n") + c.SizeLine + "\r\n");
    Server.Put("a.dll", c.Body);
    Server.Put("b.dll", "b");
    TInstallManager Manager(View);
    EXPECT_EQ(Manager.Run(), !*c.Cause);
    EXPECT_EQ(FailureText(Manager.Failure()), c.Cause);
    EXPECT_EQ(FileExistsA(InstallDir + "a.dll"), !*c.Cause);
    EXPECT_EQ(Leftovers(InstallDir), std::set<std::string>{});
    EXPECT_EQ(Requests(Server.Log(), "b.dll"), *c.Cause ? 0 : 1);
  }
}

// With every size listed, a volume without room for the run ends it before any file is
// requested or any folder made, naming both amounts.
TEST_F(InstallManagerTest, TooLittleRoomEndsTheRunBeforeItsFirstFile) {
  Serve("[files]\r\n1=big.bin\r\n[size]\r\nbig.bin=10000000\r\n");
  TInstallManager Manager(View);
  Manager.VolumeRoomOf = [](const std::wstring&) { return TVolumeRoom{1000000, 4096}; };
  EXPECT_FALSE(Manager.Run());
  const std::string Cause = FailureText(Manager.Failure());
  // The file twice (its temporary copy), in whole clusters, and the uninstaller beside it.
  EXPECT_TRUE(Cause.starts_with("디스크 공간이 부족합니다: ")) << Cause;
  EXPECT_TRUE(Cause.ends_with(" Byte 필요, 1,000,000 Byte 남음")) << Cause;
  const std::string Needed =
      Cause.substr(Cause.find(": ") + 2, Cause.find(" Byte") - Cause.find(": ") - 2);
  EXPECT_GE(Needed.size(), std::string("20,004,864").size()) << Needed;
  EXPECT_EQ(Server.Log(), "GET /program/manager/install/install.inf 200\n");
  EXPECT_FALSE(FolderExistsA(InstallDir));
  EXPECT_EQ(UninstallValue("DisplayName"), "(none)");
}

// A release folder outside the grammar, or an empty one, is a damaged manifest, refused before
// any file is requested.
TEST_F(InstallManagerTest, AReleaseFolderOutsideTheGrammarIsRefusedBeforeAnyFile) {
  for (const char* Release : {"releases/../", "releases//2/", "releases\\2/", "releases/%32/",
                              "/releases/2/", "releases/2", ""}) {
    SCOPED_TRACE(Release);
    Server.Clear();
    Serve(std::string("[info]\r\nlicfile=l.txt\r\nrelease=") + Release +
          "\r\n[files]\r\n1=b.dll\r\n");
    TInstallManager Manager(View);
    EXPECT_FALSE(Manager.Run());
    EXPECT_EQ(FailureText(Manager.Failure()), "파일이 손상되었습니다: install.inf");
    EXPECT_EQ(Server.Log(), "GET /program/manager/install/install.inf 200\n");
    EXPECT_FALSE(FolderExistsA(InstallDir));
  }
  // As a site is served: a release's files kept by caches for a year, the manifest and errors not.
  Server.Put("releases/2.0/readme.txt", "readme");
  for (const auto& [Path, Cache] :
       {std::pair{"install.inf", "no-cache, no-transform"},
        {"releases/2.0/readme.txt", "public, max-age=31536000, immutable, no-transform"},
        {"releases/2.0/missing.txt", "no-store"}})
    EXPECT_NE(Server.Get(std::string("/program/manager/install/") + Path)
                  .find(std::string("\r\nCache-Control: ") + Cache + "\r\n"),
              std::string::npos)
        << Path;
}

TEST_F(InstallManagerTest, AMissingManifestIsNamedWithTheServersStatus) {
  Server.Fault("install.inf", "status=500");
  TInstallManager Manager(View);
  EXPECT_FALSE(Manager.Run());
  EXPECT_EQ(FailureText(Manager.Failure()), "파일을 받지 못했습니다: install.inf (HTTP 500)");
  EXPECT_TRUE(View.Counters.empty());
}

TEST_F(InstallManagerTest, AnEmptyListFetchesTheExtrasCreatesTheFoldersAndFails) {
  Serve("[info]\nlicfile=license.txt\n[files]\n");
  Server.Put("license.txt", "licence");
  TInstallManager Manager(View);
  EXPECT_FALSE(Manager.Run());
  EXPECT_EQ(Manager.Failure().Kind, TInstallFailure::TKind::NoFiles);
  EXPECT_EQ(ReadBytes(InstallDir + "license.txt"), "licence");
  for (const char* Folder : {"Log", "Update", "Report"})
    EXPECT_TRUE(FolderExistsA(InstallDir + Folder)) << Folder;
  EXPECT_FALSE(FileExistsA(DesktopLink()));
}

TEST_F(InstallManagerTest, AnEntryPointingOutsideTheInstallFolderIsNeitherFetchedNorWritten) {
  const std::string Sentinel = GetProgramFilesDir() + "\\Harlune\\sentinel.txt";
  const char* Hostile[] = {"..\\sentinel.txt", "..\\..\\Harlune\\sentinel.txt", "...\\sentinel.txt",
                           "a\\..\\..\\sentinel.txt", "C:sentinel.txt",
                           "\\\\127.0.0.1\\c$\\sentinel.txt", "nul.txt",
                           // The product's own files, however named, are no payload's.
                           "install.lst.", "Install.Rec", ".\\VelquorManager_Uninstall.exe"};
  for (const char* Entry : Hostile) {
    SCOPED_TRACE(Entry);
    Server.Clear();
    RemoveTree(GetProgramFilesDir() + "\\Harlune\\");
    CreateDirectoryA((GetProgramFilesDir() + "\\Harlune").c_str(), nullptr);
    WriteBytes(Sentinel, "untouched");
    Serve(std::string("[files]\n1=") + Entry + "\n2=after.txt\n");
    Server.Put("after.txt", "after");

    RecordingView EntryView;
    TInstallManager Manager(EntryView);
    EXPECT_FALSE(Manager.Run());
    EXPECT_EQ(FailureText(Manager.Failure()), std::string("잘못된 파일 경로입니다: ") + Entry);
    EXPECT_EQ(ReadBytes(Sentinel), "untouched");
    const std::string Log = Server.Log();
    EXPECT_EQ(Log.find("sentinel"), std::string::npos) << Log;
    EXPECT_EQ(Requests(Log, "after.txt"), 0);
  }
}

// The removal deletes what the product installed, over every release, and nothing else: not a
// file outside the install folder whatever the list says, not what a link leads to, not a
// shortcut that leads elsewhere, not the user's files.
TEST_F(InstallManagerTest, ARemovalDeletesWhatWasInstalledAndNothingElse) {
  const std::string Outside = GetProgramFilesDir() + "\\Harlune\\outside.txt";
  const std::string Elsewhere = TempPathA() + "elsewhere.dll";
  const auto Install = [&](const std::string& Manifest) {
    Server.Clear();
    Serve(Manifest);
    for (const char* Name : {"a.dll", "b.dll"}) Server.Put(Name, Name);
    ASSERT_TRUE(TInstallManager(View).Run());
  };
  struct {
    const char* Name;
    std::function<void()> Arrange;
    TRemovalOutcome Expected;
    std::set<std::string> Remaining;  // in the install folder afterwards
    std::vector<std::string> Untouched = {};
    bool ShortcutStays = false;
  } const Cases[] = {
      {"an update that stopped publishing a file",
       [&] {
         Install("[files]\r\n1=a.dll\r\n2=b.dll\r\n");
         Install("[files]\r\n1=a.dll\r\n");
       },
       {},
       {}},
      {"list lines that lead outside",
       [&] {
         ForceDirectories(AnsiToWide(InstallDir));
         WriteBytes(Outside, "untouched");
         WriteBytes(InstallDir + "install.lst",
                    "..\\outside.txt\r\n" + Outside + "\r\n\\\\?\\" + Outside + "\r\na.dll\r\n");
         WriteBytes(InstallDir + "a.dll", "a");
       },
       {},
       {},
       {Outside}},
      {"a listed file that is a link",
       [&] {
         Install("[files]\r\n1=a.dll\r\n");
         WriteBytes(Elsewhere, "untouched");
         DeleteFileA((InstallDir + "a.dll").c_str());
         ASSERT_TRUE(MakeSymbolicLink(InstallDir + "a.dll", Elsewhere));
       },
       {.FolderKept = true},
       {"a.dll"},
       {Elsewhere}},
      {"an earlier build's installation, with a file of the user's",
       [&] {
         ForceDirectories(AnsiToWide(InstallDir + "Update"));
         WriteBytes(InstallDir + "install.inf",
                    "[info]\r\nlicfile=l.txt\r\n[files]\r\n1=Update\\b.dll\r\n");
         for (const char* Name : {"install.inf.sig", "l.txt", "Update\\b.dll", "mine.txt"})
           WriteBytes(InstallDir + Name, "x");
       },
       {.FolderKept = true},
       {"mine.txt"}},
      {"a stale entry",
       [&] {
         WriteUninstallEntry({InstallDir, "1.0", 1});
       },
       {.NotInstalled = true},
       {}},
      {"a shortcut that leads elsewhere",
       [&] {
         Install("[files]\r\n1=a.dll\r\n");
         std::string Link;
         CreateShortcut("C:\\Other\\VelquorManager.exe", slDesktop, "", "", "", "", Link);
       },
       {},
       {},
       {},
       true},
  };
  for (const auto& c : Cases) {
    SCOPED_TRACE(c.Name);
    ForgetInstallation();
    c.Arrange();
    const TRemovalOutcome Outcome = RemoveProduct(InstallDir);
    EXPECT_EQ(RemovalMessage(Outcome), RemovalMessage(c.Expected));
    EXPECT_EQ(RemovalExitCode(Outcome), RemovalExitCode(c.Expected));
    std::set<std::string> Left;
    if (FolderExistsA(InstallDir))
      for (const std::string& Name : NamesMatching(InstallDir + "*"))
        if (Name != "." && Name != "..") Left.insert(Name);
    EXPECT_EQ(Left, c.Remaining);
    EXPECT_EQ(FileExistsA(DesktopLink()), c.ShortcutStays);
    for (const std::string& Path : c.Untouched) EXPECT_EQ(ReadBytes(Path), "untouched") << Path;
    EXPECT_EQ(UninstallValue("DisplayName"), "(none)");
    DeleteFileA(Outside.c_str());
    if (FileExistsA(Elsewhere)) RemoveSymbolicLink(InstallDir + "a.dll");
    DeleteFileA(Elsewhere.c_str());
  }
}

// The product's own files go after every other, however the list names them (the uninstaller by
// its short name, the list with a dot more): the uninstaller that runs a removal is set aside
// for its caller to delete once it has ended, never deleted with the listed files.
TEST_F(InstallManagerTest, TheListNamesTheProductsOwnFilesOnlyAsThemselves) {
  Serve("[files]\r\n1=a.dll\r\n");
  Server.Put("a.dll", "a");
  ASSERT_TRUE(TInstallManager(View).Run());
  char Short[MAX_PATH] = {};
  GetShortPathNameA((InstallDir + "VelquorManager_Uninstall.exe").c_str(), Short, MAX_PATH);
  const std::string ShortName = std::strrchr(Short, '\\') + 1;
  ASSERT_NE(ShortName.find('~'), std::string::npos) << ShortName;
  WriteBytes(InstallDir + "install.lst", ShortName + "\r\ninstall.lst.\r\na.dll\r\n");
  std::wstring Aside;
  EXPECT_EQ(RemovalExitCode(RemoveProduct(InstallDir, &Aside)), 0);
  ASSERT_FALSE(Aside.empty()) << "the uninstaller went with the listed files";
  EXPECT_TRUE(FileExistsA(WideToAnsi(Aside)));
  EXPECT_FALSE(FileExistsA(InstallDir + "a.dll"));
  EXPECT_FALSE(FileExistsA(InstallDir + "install.lst"));
  RemoveUninstallerAfterwards(InstallDir, Aside);
  EXPECT_FALSE(FolderExistsA(InstallDir));
}

// A removal while the program runs: a file held without leave to delete waits for the restart
// under its name; the running program's own file is renamed aside first. A reinstall before the
// restart takes its files' deletions back, so the restart (Wine's wineboot -r carries out what
// waits for it, as long as the prefix's server keeps running, which this process sees to) keeps
// every file it installed.
TEST_F(InstallManagerTest, AFileInUseGoesAtTheRestartAndAReinstallBeforeItKeepsItsNew) {
  Serve("[files]\r\n1=VelquorManager.exe\r\n2=held.dll\r\n");
  Server.Put("VelquorManager.exe", ReadBytes(VELQUOR_DEMO_PROGRAM));
  Server.Put("held.dll", "held");
  ASSERT_TRUE(TInstallManager(View).Run());
  STARTUPINFOA Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Running = {};
  std::string Line = "\"" + InstallDir + "VelquorManager.exe\"";
  ASSERT_TRUE(CreateProcessA(nullptr, Line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &Startup, &Running));
  const TKernelHandle Program(Running.hProcess), Thread(Running.hThread);
  WaitForInputIdle(Program.Get(), 10000);
  {
    const TFileHandle Holder(CreateFileA((InstallDir + "held.dll").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    const TRemovalOutcome Outcome = RemoveProduct(InstallDir);
    EXPECT_EQ(RemovalExitCode(Outcome), 3010);
  }
  std::string Pending = PendingRenames();
  EXPECT_NE(Pending.find(Upper(InstallDir + "held.dll")), std::string::npos) << Pending;
  EXPECT_EQ(Pending.find(Upper(InstallDir + "VelquorManager.exe")), std::string::npos) << Pending;
  const std::set<std::string> Aside = NamesMatching(InstallDir + "~vq*.tmp");
  ASSERT_EQ(Aside.size(), 1u);
  EXPECT_NE(Pending.find(Upper(InstallDir + *Aside.begin())), std::string::npos) << Pending;
  EXPECT_FALSE(FileExistsA(InstallDir + "VelquorManager.exe"));
  EXPECT_EQ(UninstallValue("DisplayName"), "(none)");
  TerminateProcess(Program.Get(), 0);
  WaitForSingleObject(Program.Get(), 5000);

  Server.Put("held.dll", "held 2");
  ASSERT_TRUE(TInstallManager(View).Run());
  Pending = PendingRenames();
  EXPECT_EQ(Pending.find(Upper(InstallDir + "held.dll")), std::string::npos) << Pending;
  STARTUPINFOA Boot = {};
  Boot.cb = sizeof Boot;
  PROCESS_INFORMATION Restart = {};
  std::string Wineboot = "wineboot.exe -r";
  ASSERT_TRUE(CreateProcessA(nullptr, Wineboot.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &Boot, &Restart));
  const TKernelHandle Booted(Restart.hProcess), BootThread(Restart.hThread);
  ASSERT_EQ(WaitForSingleObject(Booted.Get(), 60000), WAIT_OBJECT_0);
  EXPECT_TRUE(PendingRenames().empty()) << "the restart left work undone";
  EXPECT_EQ(ReadBytes(InstallDir + "held.dll"), "held 2");
  EXPECT_TRUE(FileExistsA(InstallDir + "VelquorManager.exe"));
  EXPECT_TRUE(NamesMatching(InstallDir + "~vq*.tmp").empty());
  ClearPendingRenames();
}

// Who may open the product's own files, as the platform builds their descriptors (Wine keeps
// none on disk to read back): the record and the list the administrators and SYSTEM alone, so no
// other account can hold them; the uninstaller users too, to read and run, never to change;
// what the manifest lists keeps the folder's access.
TEST(ProductFileAccess, OnlyTheUninstallerIsOpenToUsersAndOnlyToRun) {
  const auto Sid = [](WELL_KNOWN_SID_TYPE Type) {
    std::string Bytes(SECURITY_MAX_SID_SIZE, '\0');
    DWORD Size = SECURITY_MAX_SID_SIZE;
    CreateWellKnownSid(Type, nullptr, Bytes.data(), &Size);
    return Bytes.substr(0, Size);
  };
  const std::map<std::string, std::string> Names = {{Sid(WinBuiltinAdministratorsSid), "BA"},
                                                    {Sid(WinLocalSystemSid), "SY"},
                                                    {Sid(WinBuiltinUsersSid), "BU"}};
  const std::pair<std::string_view, std::map<std::string, DWORD>> Files[] = {
      {"install.rec", {{"BA", FILE_ALL_ACCESS}, {"SY", FILE_ALL_ACCESS}}},
      {"install.lst", {{"BA", FILE_ALL_ACCESS}, {"SY", FILE_ALL_ACCESS}}},
      {"VelquorManager_Uninstall.exe",
       {{"BA", FILE_ALL_ACCESS},
        {"SY", FILE_ALL_ACCESS},
        {"BU", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}}}};
  for (const auto& [Name, Expected] : Files) {
    SCOPED_TRACE(std::string(Name));
    TSecurityDescriptor Descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        std::wstring(FileAccessDescriptor(AccessOf(Name))).c_str(), SDDL_REVISION_1,
        Descriptor.Put(), nullptr));
    SECURITY_DESCRIPTOR_CONTROL Control = 0;
    DWORD Revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(Descriptor.Get(), &Control, &Revision));
    EXPECT_TRUE(Control & SE_DACL_PROTECTED) << "nothing inherited from the folder";
    PSID Owner = nullptr;
    BOOL Defaulted = FALSE, Present = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(Descriptor.Get(), &Owner, &Defaulted));
    ASSERT_NE(Owner, nullptr);
    EXPECT_EQ(Names.at(std::string(static_cast<const char*>(Owner), GetLengthSid(Owner))), "BA");
    PACL Dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(Descriptor.Get(), &Present, &Dacl, &Defaulted));
    ASSERT_TRUE(Present && Dacl);
    std::map<std::string, DWORD> Granted;
    for (DWORD i = 0; i < Dacl->AceCount; ++i) {
      ACCESS_ALLOWED_ACE* Ace = nullptr;
      ASSERT_TRUE(GetAce(Dacl, i, reinterpret_cast<void**>(&Ace)));
      ASSERT_EQ(Ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      const PSID Whom = &Ace->SidStart;
      Granted[Names.at(std::string(static_cast<const char*>(Whom), GetLengthSid(Whom)))] |=
          Ace->Mask;
    }
    EXPECT_EQ(Granted, Expected);
  }
  EXPECT_TRUE(FileAccessDescriptor(AccessOf("VelquorManager.exe")).empty());
}

// HKLM's CurrentVersion key, with "ProgramFilesDir" put back as it was when the test ends.
class ProgramFilesDirValue {
 public:
  ProgramFilesDirValue() {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, Key.Put());
    DWORD Size = sizeof Saved;
    RegQueryValueExA(Key.Get(), "ProgramFilesDir", nullptr, &Type, Saved, &Size);
    SavedSize = Size;
  }
  ~ProgramFilesDirValue() {
    RegSetValueExA(Key.Get(), "ProgramFilesDir", 0, Type, Saved, SavedSize);
  }
  void SetDword(DWORD Value) {
    RegSetValueExA(Key.Get(), "ProgramFilesDir", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&Value), sizeof Value);
  }
  void Remove() { RegDeleteValueA(Key.Get(), "ProgramFilesDir"); }

 private:
  static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion";
  TRegKey Key;
  DWORD Type = REG_SZ;
  BYTE Saved[1024] = {};
  DWORD SavedSize = 0;
};

TEST_F(InstallManagerTest, ProgramFilesDirOfTheWrongTypeRaisesFromTheConstructor) {
  ProgramFilesDirValue Value;
  Value.SetDword(1);
  try {
    TInstallManager Manager(View);
    FAIL() << "no error raised";
  } catch (const EInstallerError& e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'ProgramFilesDir'");
  }
}

TEST_F(InstallManagerTest, AMissingProgramFilesDirInstallsUnderTheDriveRoot) {
  ProgramFilesDirValue Value;
  Value.Remove();
  TInstallManager Manager(View);
  EXPECT_EQ(Manager.GetInstallDir(), "\\Harlune\\VelquorManager\\");
}

}  // namespace
