#include "engine/ProgressDisplay.h"

#include "engine/InstallRules.h"

namespace {

class TNoProgressView final : public TProgressView {
 public:
  void SetAllFilesText(const std::string&) override {}
  void SetAllFilesBar(double, double) override {}
  std::string CurrentFileText() const override { return {}; }
  void SetCurrentFileText(const std::string&) override {}
  void SetCurrentFileBar(double, double) override {}
};

TNoProgressView NoProgressView;
TProgressView* RegisteredView = nullptr;

}  // namespace

void SetInstallProgressView(TProgressView* View) noexcept { RegisteredView = View; }

TProgressView& InstallProgressView() noexcept {
  return RegisteredView ? *RegisteredView : NoProgressView;
}

void ShowDownloadStart(TProgressView& View) { View.SetCurrentFileText(""); }

void ShowDownloadProgress(TProgressView& View, std::uint32_t ProgressMax, std::uint32_t Progress,
                          const std::string& Separator) {
  View.SetCurrentFileBar(static_cast<double>(ProgressMax), static_cast<double>(Progress));
  if (ProgressMax != 0 && View.CurrentFileText().empty())
    View.SetCurrentFileText(ByteSizeText(ProgressMax, Separator));
}
