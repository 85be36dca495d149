#include "engine/InstallRules.h"

#include <gtest/gtest.h>

#include "PrintU16.h"

namespace {

struct PathCase {
  std::u16string Path;
  bool Installable;
  friend void PrintTo(const PathCase& c, std::ostream* os) {
    *os << '"' << Printable(c.Path) << '"';
  }
};

class InstallablePath : public testing::TestWithParam<PathCase> {};

TEST_P(InstallablePath, RefusesWhatCouldLeaveTheInstallFolder) {
  EXPECT_EQ(IsInstallablePath(GetParam().Path), GetParam().Installable);
}

INSTANTIATE_TEST_SUITE_P(
    Refused, InstallablePath,
    testing::Values(PathCase{u"", false}, PathCase{u"..", false}, PathCase{u"..\\x", false},
                    PathCase{u"a\\..\\..\\x", false}, PathCase{u"...\\x", false},
                    PathCase{u".. \\x", false}, PathCase{u"a\\. .\\x", false},
                    PathCase{u"a\\..", false}, PathCase{u"a:b", false}, PathCase{u"C:x", false},
                    PathCase{u"C:\\Windows\\x.dll", false}, PathCase{u"\\\\srv\\s\\x", false},
                    PathCase{u"\\\\?\\C:\\x", false}, PathCase{u"a\x01.txt", false},
                    PathCase{u"a\tb", false}, PathCase{u"a<b", false}, PathCase{u"a>b", false},
                    PathCase{u"a\"b", false}, PathCase{u"a|b", false}, PathCase{u"a?b", false},
                    PathCase{u"a*b", false}, PathCase{u"CON", false}, PathCase{u"con", false},
                    PathCase{u"nul.txt", false}, PathCase{u"Update\\aux.dll", false},
                    PathCase{u"PRN \\x", false}, PathCase{u"COM1", false},
                    PathCase{u"lpt9.log", false}, PathCase{u"COM\u00B9", false},
                    PathCase{u"nul\\x.txt", false}, PathCase{u"./.../x", false},
                    PathCase{u"//srv/s/x", false}, PathCase{u"a/../../x", false},
                    PathCase{u"install.lst.", false}, PathCase{u"INSTALL.REC ", false},
                    PathCase{u"VelquorManager_Uninstall.exe. .", false}),
    [](const testing::TestParamInfo<PathCase>& Info) {
      return "Case" + std::to_string(Info.index);
    });

INSTANTIATE_TEST_SUITE_P(
    Accepted, InstallablePath,
    testing::Values(PathCase{u"VelquorManager.exe", true}, PathCase{u"a..b.txt", true},
                    PathCase{u"..a", true}, PathCase{u"a..", true}, PathCase{u"\\lead.txt", true},
                    PathCase{u"Update\\Lib\\b.dll", true}, PathCase{u".\\x", true},
                    PathCase{u"a\\\\b", true}, PathCase{u"CONSOLE.txt", true},
                    PathCase{u"COM10", true}, PathCase{u"COM0", true}, PathCase{u"LPT", true},
                    PathCase{u"nullable.dll", true}, PathCase{u"install.lst.bak", true},
                    PathCase{u"도움말\\사용 설명서 100%.txt", true}),
    [](const testing::TestParamInfo<PathCase>& Info) {
      return "Case" + std::to_string(Info.index);
    });

TEST(CounterText, IsPositionSlashTotal) {
  EXPECT_EQ(CounterText(1, 4), "1 / 4");
  EXPECT_EQ(CounterText(12, 12), "12 / 12");
}

TEST(ByteSizeText, GroupsDigitsInThreesWithTheSeparator) {
  EXPECT_EQ(ByteSizeText(0, ","), "0 Byte");
  EXPECT_EQ(ByteSizeText(999, ","), "999 Byte");
  EXPECT_EQ(ByteSizeText(1000, ","), "1,000 Byte");
  EXPECT_EQ(ByteSizeText(1234567, ","), "1,234,567 Byte");
  EXPECT_EQ(ByteSizeText(4294967295u, ","), "4,294,967,295 Byte");
  EXPECT_EQ(ByteSizeText(1234567, "."), "1.234.567 Byte");
  EXPECT_EQ(ByteSizeText(1234567, ""), "1234567 Byte");
}

TEST(FailureText, NamesTheCause) {
  using TKind = TInstallFailure::TKind;
  EXPECT_EQ(FailureText({TKind::None, "", 0}), "");
  EXPECT_EQ(FailureText({TKind::Download, "install.inf", 0}),
            "파일을 받지 못했습니다: install.inf");
  EXPECT_EQ(FailureText({TKind::Download, "Update\\b.dll", 404}),
            "파일을 받지 못했습니다: Update\\b.dll (HTTP 404)");
  EXPECT_EQ(FailureText({TKind::Download, "b.dll", 0, true}),
            "파일을 받지 못했습니다: b.dll (시간 초과)");
  EXPECT_EQ(FailureText({TKind::BadPath, "..\\x", 0}), "잘못된 파일 경로입니다: ..\\x");
  EXPECT_EQ(FailureText({TKind::NoFiles, "", 0}), "설치할 파일이 없습니다.");
  EXPECT_EQ(FailureText({TKind::BadSignature, "", 0}), "설치 정보의 서명이 올바르지 않습니다.");
  EXPECT_EQ(FailureText({TKind::Corrupt, "a.dll", 0}), "파일이 손상되었습니다: a.dll");
  EXPECT_EQ(FailureText({TKind::InUse, "b.dll", 0}), "파일이 사용 중입니다: b.dll");
  EXPECT_EQ(FailureText({TKind::Older, "1.0", 0}), "설치된 것보다 오래된 버전입니다: 1.0");
  EXPECT_EQ(FailureText({TKind::Older, "", 0}), "설치된 것보다 오래된 버전입니다: 없음");
  EXPECT_EQ(FailureText({TKind::InstalledUnknown, "", 0}), "설치된 버전을 확인하지 못했습니다.");
  EXPECT_EQ(FailureText({TKind::Unregistered, "", 0}), "제거 정보를 기록하지 못했습니다.");
  EXPECT_EQ(FailureText({TKind::NoRoom, "8,192 Byte", 0, false, "4,096 Byte"}),
            "디스크 공간이 부족합니다: 8,192 Byte 필요, 4,096 Byte 남음");
  EXPECT_EQ(FailureText({TKind::DiskFull, "big.bin", 0}), "디스크 공간이 부족합니다: big.bin");
  EXPECT_EQ(FailureText({TKind::UnprovenImage, "", 0}),
            "설치 프로그램 파일을 확인하지 못했습니다.");
}

// What a run asks of the volume before its first file: whole clusters, what the installed
// copies give back, the largest file once more for its temporary copy, and never a sum that
// wraps into a small number.
TEST(RoomNeeded, CountsClustersReplacementsAndTheLargestFile) {
  constexpr std::uint64_t K = 4096, Most = UINT64_MAX;
  const struct {
    const char* What;
    std::vector<TFileRoom> Files;
    std::uint64_t Needed;
  } Cases[] = {
      {"nothing", {}, 0},
      {"new files in whole clusters, the largest twice", {{1, 0}, {K + 1, 0}}, K + 2 * K + 2 * K},
      {"an empty file takes no cluster", {{0, 0}}, 0},
      {"a larger replacement needs the difference", {{3 * K, K}}, 2 * K + 3 * K},
      {"a smaller replacement gives nothing back", {{K, 3 * K}}, K},
      {"the same clusters", {{K - 10, 5}}, K},
      {"sizes near the top saturate", {{Most - 1, 0}, {Most - 1, 0}}, Most},
      {"one file near the top", {{Most, 0}}, Most},
  };
  for (const auto& c : Cases) EXPECT_EQ(RoomNeeded(c.Files, K), c.Needed) << c.What;
  EXPECT_EQ(RoomNeeded({{10, 0}}, 0), 20u) << "no cluster size known: bytes";
}

}  // namespace
