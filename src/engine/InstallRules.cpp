#include "engine/InstallRules.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "base/Cp949.h"
#include "engine/ProductFiles.h"

namespace {

constexpr std::u16string_view kForbiddenChars = u"<>\"|?*:";

// What Windows makes of a segment: trailing dots and blanks are dropped.
std::u16string_view Trimmed(std::u16string_view Segment) {
  while (!Segment.empty() && (Segment.back() == u'.' || Segment.back() == u' '))
    Segment.remove_suffix(1);
  return Segment;
}

bool IsParentSegment(std::u16string_view Segment) {
  if (!Trimmed(Segment).empty()) return false;
  size_t Dots = 0;
  for (char16_t c : Segment) Dots += c == u'.';
  return Dots >= 2;
}

// "install.lst." and "install.lst " are install.lst to Windows: the product's own files must not
// be reachable under a name that only looks like another.
bool StripsToOwnFile(std::u16string_view Segment) {
  const std::u16string_view Name = Trimmed(Segment);
  if (Name.size() == Segment.size()) return false;
  return std::any_of(std::begin(kOwnFiles), std::end(kOwnFiles), [&](std::string_view Own) {
    return Own.size() == Name.size() &&
           std::equal(Own.begin(), Own.end(), Name.begin(), [](char a, char16_t b) {
             return AsciiUpper(char16_t(static_cast<unsigned char>(a))) == AsciiUpper(b);
           });
  });
}

bool IsDeviceName(std::u16string_view Segment) {
  // The device is named by the text before the first dot, blanks at its end ignored.
  std::u16string_view Base = Segment.substr(0, Segment.find(u'.'));
  while (!Base.empty() && Base.back() == u' ') Base.remove_suffix(1);
  for (std::u16string_view Name : {u"CON", u"PRN", u"AUX", u"NUL"})
    if (SameAsciiText<char16_t>(Base, Name)) return true;
  // Windows takes the superscript digits 1, 2 and 3 for port numbers as well.
  const auto IsPortDigit = [](char16_t c) {
    return (c >= u'1' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
  };
  if (Base.size() == 4 && IsPortDigit(Base[3]))
    for (std::u16string_view Name : {u"COM", u"LPT"})
      if (SameAsciiText<char16_t>(Base.substr(0, 3), Name)) return true;
  return false;
}

}  // namespace

bool IsInstallablePath(std::u16string_view LocalPath) {
  if (LocalPath.empty()) return false;
  const auto IsSeparator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  if (LocalPath.size() >= 2 && IsSeparator(LocalPath[0]) && IsSeparator(LocalPath[1])) return false;
  for (char16_t c : LocalPath)
    if (c < 0x20 || c == 0x7F || kForbiddenChars.find(c) != std::u16string_view::npos) return false;
  // Both separators count, so the rule holds also for a path not yet in its local form.
  size_t Start = 0;
  for (;;) {
    const size_t End = LocalPath.find_first_of(u"\\/", Start);
    const std::u16string_view Segment = LocalPath.substr(Start, End - Start);
    if (IsParentSegment(Segment) || IsDeviceName(Segment) || StripsToOwnFile(Segment)) return false;
    if (End == std::u16string_view::npos) return true;
    Start = End + 1;
  }
}

bool IsReleasePath(std::string_view Release) {
  constexpr std::size_t kMaxReleaseSize = 200;
  const auto IsAlnum = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  if (Release.empty() || Release.size() > kMaxReleaseSize || Release.back() != '/') return false;
  bool SegmentStart = true;
  for (const char c : Release) {
    if (c == '/') {
      if (SegmentStart) return false;
      SegmentStart = true;
    } else if (SegmentStart ? !IsAlnum(c) : !IsAlnum(c) && c != '.' && c != '-' && c != '_') {
      return false;
    } else {
      SegmentStart = false;
    }
  }
  return true;
}

std::uint64_t RoomNeeded(const std::vector<TFileRoom>& Files, std::uint64_t ClusterSize) {
  constexpr std::uint64_t kMost = UINT64_MAX;
  const auto Add = [](std::uint64_t A, std::uint64_t B) { return A > kMost - B ? kMost : A + B; };
  const auto InClusters = [&](std::uint64_t Bytes) {
    if (ClusterSize == 0 || Bytes % ClusterSize == 0) return Bytes;
    return Add(Bytes - Bytes % ClusterSize, ClusterSize);
  };
  std::uint64_t Needed = 0, Largest = 0;
  for (const TFileRoom& File : Files) {
    const std::uint64_t New = InClusters(File.Size), Old = InClusters(File.Installed);
    Needed = Add(Needed, New > Old ? New - Old : 0);
    Largest = std::max(Largest, New);
  }
  return Add(Needed, Largest);
}

std::string CounterText(int Position, int Total) {
  std::array<char, 32> Buffer{};
  std::snprintf(Buffer.data(), Buffer.size(), "%d / %d", Position, Total);
  return Buffer.data();
}

std::string ByteSizeText(std::uint64_t Bytes, std::string_view Separator) {
  const std::string Digits = std::to_string(Bytes);
  std::string Text;
  for (size_t i = 0; i < Digits.size(); ++i) {
    if (i > 0 && (Digits.size() - i) % 3 == 0) Text += Separator;
    Text += Digits[i];
  }
  return Text + " Byte";
}

std::string FailureText(const TInstallFailure& Failure) {
  using TKind = TInstallFailure::TKind;
  switch (Failure.Kind) {
    case TKind::None:
      return {};
    case TKind::Download: {
      std::string Text = "파일을 받지 못했습니다: " + Failure.Path;
      if (Failure.HttpStatus != 0) Text += " (HTTP " + std::to_string(Failure.HttpStatus) + ")";
      if (Failure.TimedOut) Text += " (시간 초과)";
      return Text;
    }
    case TKind::BadPath:
      return "잘못된 파일 경로입니다: " + Failure.Path;
    case TKind::NoFiles:
      return "설치할 파일이 없습니다.";
    case TKind::BadSignature:
      return "설치 정보의 서명이 올바르지 않습니다.";
    case TKind::Corrupt:
      return "파일이 손상되었습니다: " + Failure.Path;
    case TKind::InUse:
      return "파일이 사용 중입니다: " + Failure.Path;
    case TKind::Older:
      return "설치된 것보다 오래된 버전입니다: " + (Failure.Path.empty() ? "없음" : Failure.Path);
    case TKind::InstalledUnknown:
      return "설치된 버전을 확인하지 못했습니다.";
    case TKind::Unregistered:
      return "제거 정보를 기록하지 못했습니다.";
    case TKind::NoRoom:
      return "디스크 공간이 부족합니다: " + Failure.Path + " 필요, " + Failure.Room + " 남음";
    case TKind::DiskFull:
      return "디스크 공간이 부족합니다: " + Failure.Path;
    case TKind::UnprovenImage:
      return "설치 프로그램 파일을 확인하지 못했습니다.";
  }
  return {};
}
