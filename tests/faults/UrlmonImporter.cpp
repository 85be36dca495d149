// The build the planting test must catch: a program that imports urlmon statically, so the
// loader looks for urlmon.dll beside the program first.

#include <windows.h>
#include <urlmon.h>

int main(int argc, char**) {
  // Never called; the import alone is the point.
  if (argc > 100) return static_cast<int>(URLDownloadToFileA(nullptr, "", "", 0, nullptr));
  return 0;
}
