#include "engine/ProgressDisplay.h"

#include "engine/InstallRules.h"

void ShowDownloadStart(TProgressView& View) { View.SetCurrentFileText(""); }

void ShowDownloadProgress(TProgressView& View, std::uint32_t ProgressMax, std::uint32_t Progress,
                          const std::string& Separator) {
  View.SetCurrentFileBar(static_cast<double>(ProgressMax), static_cast<double>(Progress));
  if (ProgressMax != 0 && View.CurrentFileText().empty())
    View.SetCurrentFileText(ByteSizeText(ProgressMax, Separator));
}
