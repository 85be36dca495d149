#include "win32/ProfileFile.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <vector>

#include "base/Cp949.h"
#include "win32/Text.h"

namespace {

// A list of zero-terminated strings from one of the profile reader's list functions, read into
// a buffer of Chars characters that doubles until the whole list fits (a list that did not fit
// comes back as Size - 2 characters): the strings, each with its terminating zero.
template <typename Char, typename ReadList>
std::basic_string<Char> ReadWholeText(ReadList&& Read, DWORD Chars) {
  std::basic_string<Char> Buffer(Chars, Char());
  for (;;) {
    const auto Size = static_cast<DWORD>(Buffer.size());
    const DWORD Length = Read(Buffer.data(), Size);
    if (Length + 2 < Size) {
      Buffer.resize(Length);
      return Buffer;
    }
    Buffer.assign(Buffer.size() * 2, Char());
  }
}

template <typename Char, typename ReadList>
std::vector<std::basic_string<Char>> ReadWholeList(ReadList&& Read, DWORD Chars) {
  const std::basic_string<Char> Text = ReadWholeText<Char>(Read, Chars);
  std::vector<std::basic_string<Char>> Items;
  for (size_t Start = 0; Start < Text.size();) {
    std::basic_string<Char> Item(Text.c_str() + Start);
    Start += Item.size() + 1;
    Items.push_back(std::move(Item));
  }
  return Items;
}

// Room for a whole section of the file in one read: its lines never take more characters than
// the file has bytes (each line break gives way to a terminating zero), and each read of the
// section makes the reader parse the whole file again.
DWORD SectionChars(const std::string& FileName) {
  WIN32_FILE_ATTRIBUTE_DATA Data = {};
  if (!GetFileAttributesExA(FileName.c_str(), GetFileExInfoStandard, &Data) ||
      Data.nFileSizeHigh != 0 || Data.nFileSizeLow > MAXDWORD / 2)
    return TProfileFile::kKeyListChars;
  return std::max<DWORD>(TProfileFile::kKeyListChars, Data.nFileSizeLow + 4);
}

// A nameless entry can't be looked up by its name: under Wine, asking for the key "" reads past
// the reader's own buffers and can crash the process. Blanks round a name are not part of it.
bool IsNameless(const std::string& Key) {
  return Key.find_first_not_of(" \t") == std::string::npos;
}

// Text in the ANSI code page as the platform converts it; ASCII is the same in every one, and
// a manifest is mostly ASCII, so that goes without a call.
bool IsAscii(std::wstring_view Text) {
  return std::all_of(Text.begin(), Text.end(), [](wchar_t c) { return c < 0x80; });
}

std::string ToAnsi(std::wstring_view Text) {
  if (!IsAscii(Text)) return WideToAnsi(Text);
  return std::string(Text.begin(), Text.end());
}

std::wstring FromAnsi(std::string_view Text) {
  if (!std::all_of(Text.begin(), Text.end(), [](char c) { return (c & 0x80) == 0; }))
    return AnsiToWide(Text);
  return std::wstring(Text.begin(), Text.end());
}

// How long a long section is worked through between two calls of KeepAnswering, and how many
// lines between two looks at the clock.
constexpr ULONGLONG kWorkSliceMs = 8;
constexpr size_t kLinesBetweenClocks = 256;

// A name the reader's ANSI functions can't take to UTF-16 (a counted string of the platform
// holds fewer than 32767 characters): its lookup finds nothing (measured under Wine).
constexpr size_t kLongestName = 32767;

// The blanks that the reader trims off a name it is asked for.
bool IsProfileBlank(wchar_t c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == L' '; }

std::wstring_view TrimmedName(std::wstring_view Name) {
  while (!Name.empty() && IsProfileBlank(Name.front())) Name.remove_prefix(1);
  while (!Name.empty() && IsProfileBlank(Name.back())) Name.remove_suffix(1);
  return Name;
}

// Names as the reader compares them: Latin letters without case, nothing else folded.
struct TFoldedHash {
  size_t operator()(std::wstring_view Name) const noexcept {
    size_t Hash = 14695981039346656037ULL;  // FNV-1a
    for (const wchar_t c : Name)
      Hash = (Hash ^ static_cast<size_t>(AsciiUpper(c))) * 1099511628211ULL;
    return Hash;
  }
};
struct TFoldedEqual {
  bool operator()(std::wstring_view A, std::wstring_view B) const noexcept {
    return SameAsciiText<wchar_t>(A, B);
  }
};

// What a lookup hands back for a value as the section shows it (GetPrivateProfileStringA into a
// buffer of kValueChars): without the quotes round it, cut to kValueChars - 1 characters, in the
// ANSI code page, cut again to whole characters that fit kValueChars - 1 bytes. Measured under
// Wine: the closing quote goes as the copy's last character whenever the value after the opening
// quote has at most kValueChars characters, even when the cut had taken that quote already.
std::string LookedUpValue(std::wstring_view Raw) {
  constexpr size_t kChars = TProfileFile::kValueChars;
  const bool Quoted =
      Raw.size() >= 2 && (Raw.front() == L'"' || Raw.front() == L'\'') && Raw.back() == Raw.front();
  if (Quoted) Raw.remove_prefix(1);
  std::wstring_view Copy = Raw.substr(0, kChars - 1);
  if (Quoted && Raw.size() <= kChars) Copy.remove_suffix(1);
  std::string Ansi = ToAnsi(Copy);
  if (Ansi.size() <= kChars - 1) return Ansi;
  size_t Fits = 0;
  for (const wchar_t& c : Copy) {
    const size_t Size = WideToAnsi(std::wstring_view(&c, 1)).size();
    if (Fits + Size > kChars - 1) break;
    Fits += Size;
  }
  Ansi.resize(Fits);
  return Ansi;
}

}  // namespace

std::vector<std::string> TProfileFile::SectionKeys(std::string_view Section) {
  if (KeepAnswering) KeepAnswering();
  const std::string Name(Section);
  std::vector<std::string> Keys = ReadWholeList<char>(
      [&](char* Buffer, DWORD Size) {
        return GetPrivateProfileStringA(Name.c_str(), nullptr, "", Buffer, Size, FileName_.c_str());
      },
      kKeyListChars);
  std::erase_if(Keys, IsNameless);
  if (!Keys.empty()) return Keys;

  // An entry without a name ("=value") at the top of a section makes the key list come back
  // empty under Wine, which would lose every entry after it; the section's lines still hold
  // them.
  for (const std::string& Line : ReadWholeList<char>(
           [&](char*Buffer, DWORD Size) {
             return GetPrivateProfileSectionA(Name.c_str(), Buffer, Size, FileName_.c_str());
           },
           kKeyListChars)) {
    const size_t Equals = Line.find('=');
    if (Equals != std::string::npos && !IsNameless(Line.substr(0, Equals)))
      Keys.push_back(Line.substr(0, Equals));
  }
  return Keys;
}

std::string TProfileFile::Value(std::string_view Section, std::string_view Key) {
  if (IsNameless(std::string(Key))) return {};
  char Buffer[kValueChars] = {};
  GetPrivateProfileStringA(std::string(Section).c_str(), std::string(Key).c_str(), "", Buffer,
                           kValueChars, FileName_.c_str());
  return Buffer;
}

std::vector<TProfileEntry> TProfileFile::SectionEntries(std::string_view Section) {
  // The section's lines as the reader keeps them (blanks round the "=" gone, quotes kept,
  // comments left out), lines without a "=" and nameless ones included; in UTF-16, so that a
  // name the ANSI code page can't show is told from its "?" as a lookup tells it.
  if (KeepAnswering) KeepAnswering();
  const std::wstring SectionName = AnsiToWide(Section), File = AnsiToWide(FileName_);
  const std::wstring Text = ReadWholeText<wchar_t>(
      [&](wchar_t* Buffer, DWORD Size) {
        return GetPrivateProfileSectionW(SectionName.c_str(), Buffer, Size, File.c_str());
      },
      SectionChars(FileName_));
  struct TLine {
    std::wstring_view Name;
    std::optional<std::wstring_view> Value;  // none for a line without a "="
  };
  std::vector<TLine> Lines;
  // A lookup finds the first line of its name, whether that line has a value or not.
  std::unordered_map<std::wstring_view, size_t, TFoldedHash, TFoldedEqual> FirstOfName;
  ULONGLONG AnswerAt = GetTickCount64() + kWorkSliceMs;
  const auto Answer = [&] {
    if (!KeepAnswering || GetTickCount64() < AnswerAt) return;
    KeepAnswering();
    AnswerAt = GetTickCount64() + kWorkSliceMs;
  };
  for (size_t Start = 0; Start < Text.size();) {
    if (Lines.size() % kLinesBetweenClocks == 0) Answer();
    const std::wstring_view Line(Text.c_str() + Start);
    Start += Line.size() + 1;
    const size_t Equals = Line.find(L'=');
    TLine Item{Line.substr(0, Equals), std::nullopt};
    if (Equals != std::wstring_view::npos) Item.Value = Line.substr(Equals + 1);
    FirstOfName.try_emplace(Item.Name, Lines.size());
    Lines.push_back(Item);
  }

  // What SectionKeys and Value give: the keys are the names of the lines with a value, in the
  // ANSI code page, and Value takes such a name back to UTF-16 to look it up.
  std::vector<TProfileEntry> Entries;
  Entries.reserve(Lines.size());
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (i % kLinesBetweenClocks == 0) Answer();
    const TLine& Line = Lines[i];
    if (!Line.Value) continue;
    std::string Name = ToAnsi(Line.Name);
    if (IsNameless(Name)) continue;
    const std::wstring Asked = FromAnsi(Name);
    const auto Found =
        Asked.size() < kLongestName ? FirstOfName.find(TrimmedName(Asked)) : FirstOfName.end();
    const std::optional<std::wstring_view> Raw =
        Found == FirstOfName.end() ? std::nullopt : Lines[Found->second].Value;
    Entries.push_back({std::move(Name), Raw ? LookedUpValue(*Raw) : std::string()});
  }
  return Entries;
}
