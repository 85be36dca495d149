// The download floor for the install benchmark: fetches a list of URLs with URLDownloadToFileA,
// no callback, one after the other, and prints how long the whole list took.
//   bench_bare_download LIST
// LIST holds one "URL<TAB>local path" line per file (ANSI). Parent folders are made first, as
// the installer makes them, since urlmon needs the folder to exist.

#include <windows.h>
#include <urlmon.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

void CreateParentFolders(const std::string& Path) {
  for (size_t At = Path.find('\\', 3); At != std::string::npos; At = Path.find('\\', At + 1))
    CreateDirectoryA(Path.substr(0, At).c_str(), nullptr);
}

double NowMs() {
  LARGE_INTEGER Frequency, Count;
  QueryPerformanceFrequency(&Frequency);
  QueryPerformanceCounter(&Count);
  return 1000.0 * static_cast<double>(Count.QuadPart) / static_cast<double>(Frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_bare_download LIST\n");
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> Files;
  std::ifstream List(argv[1]);
  for (std::string Line; std::getline(List, Line);) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    const size_t Tab = Line.find('\t');
    if (Tab != std::string::npos) Files.emplace_back(Line.substr(0, Tab), Line.substr(Tab + 1));
  }
  if (Files.empty()) {
    std::fprintf(stderr, "bench_bare_download: empty list\n");
    return 2;
  }

  // The installer runs its downloads in a single-threaded apartment; so does the floor.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int Failed = 0;
  const double Start = NowMs();
  for (const auto& [URL, LocalFile] : Files) {
    CreateParentFolders(LocalFile);
    if (FAILED(URLDownloadToFileA(nullptr, URL.c_str(), LocalFile.c_str(), 0, nullptr))) ++Failed;
  }
  const double Elapsed = NowMs() - Start;
  CoUninitialize();
  std::printf("bare bare_ms=%.1f files=%zu failed=%d\n", Elapsed, Files.size(), Failed);
  return Failed == 0 ? 0 : 1;
}
