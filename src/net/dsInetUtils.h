#pragma once
// dsInetUtils: the download transport's helpers. Relative paths from the manifest map to their URL
// form and their local form; MakeTempFileName names a free file in the temporary folder. The
// download session TURLDownload belongs to this unit too and has its own file, URLDownload.h.

#include <string>
#include <string_view>

// Each code unit is copied except the one separator, which becomes the other; nothing else
// (case, blanks, percent signs, dot segments, repeated separators) is touched.
std::u16string ToURLPath(std::u16string_view Path);
std::u16string ToLocalPath(std::u16string_view Path);

// Replaces the extension of the last path component (everything from its last dot) with Ext,
// or appends Ext when that component has no dot. Ext carries its own dot.
std::string ChangeFileExt(std::string_view FileName, std::string_view Ext);

// What MakeTempFileName asks of the file system; the Win32 build binds it to kernel32.
class TTempFolder {
 public:
  virtual ~TTempFolder() = default;
  // Creates a new empty placeholder file in the temporary folder and returns its full path, or
  // returns "" when the folder can't be named or the placeholder can't be created.
  virtual std::string NewPlaceholder() = 0;
  // True when a file (not a folder) of that name exists.
  virtual bool FileExists(const std::string& FileName) = 0;
};

// A pass that finds its candidate taken starts over with a fresh placeholder; this many passes
// and no more, so a folder that is full of our names cannot keep the installer looping.
inline constexpr int kMaxTempNamePasses = 100;

// Full path of a file that did not exist when checked, the placeholder's name with Ext instead of
// ".tmp". Every pass leaves its placeholder behind. "" when the folder gives no usable name.
std::string MakeTempFileName(std::string_view Ext, TTempFolder& Folder);

#ifdef _WIN32
// The user's temporary folder (GetTempPathA), and placeholders "~" + random hex digits + ".tmp"
// made there under the rules of win32/CheckedFile.h: none where the folder resolves elsewhere.
class TSystemTempFolder : public TTempFolder {
 public:
  std::string NewPlaceholder() override;
  bool FileExists(const std::string& FileName) override;
};

// MakeTempFileName in the user's temporary folder.
std::string MakeTempFileName(std::string_view Ext);

// The mappings of a relative path as the manifest lists it (ANSI code page), run on its UTF-16
// form so that a double-byte character is never split.
std::string AnsiURLPath(std::string_view RelativePath);
std::wstring WideLocalPath(std::string_view RelativePath);
#endif
