#include "app/StartupPhases.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<const char*, double>>& Marks() {
  static std::vector<std::pair<const char*, double>> List;
  return List;
}

bool Written = false;

double CounterMs() {
  LARGE_INTEGER Frequency, Count;
  QueryPerformanceFrequency(&Frequency);
  QueryPerformanceCounter(&Count);
  return 1000.0 * static_cast<double>(Count.QuadPart) / static_cast<double>(Frequency.QuadPart);
}

}  // namespace

void MarkStartupPhase(const char* Name) {
  if (Written) return;
  // A phase that runs again (the DPI applied a second time) keeps its first time.
  for (const auto& Mark : Marks())
    if (std::string(Mark.first) == Name) return;
  Marks().emplace_back(Name, CounterMs());
}

void WriteStartupPhases() {
  if (Written) return;
  MarkStartupPhase("idle");
  Written = true;
  std::wstring File(32768, L'\0');
  const DWORD Length = GetModuleFileNameW(nullptr, File.data(), static_cast<DWORD>(File.size()));
  // A cut name would put the marks in another folder: none then.
  if (Length == 0 || Length >= File.size()) return;
  File.resize(Length);
  File = File.substr(0, File.find_last_of(L'\\') + 1) + L"startup-phases.txt";
  // Written under another name and renamed, so the reader never sees half a file.
  const std::wstring Partial = File + L".part";
  FILE* Out = _wfopen(Partial.c_str(), L"w");
  if (!Out) return;
  for (const auto& [Name, AtMs] : Marks()) std::fprintf(Out, "%s=%.3f\n", Name, AtMs);
  std::fclose(Out);
  MoveFileExW(Partial.c_str(), File.c_str(), MOVEFILE_REPLACE_EXISTING);
}
