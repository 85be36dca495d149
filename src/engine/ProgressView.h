#pragma once
// What the install engine writes into the progress page. The installer window implements it and
// hands itself down at its creation, so the engine never names the window. Texts are UTF-8.

#include <string>

class TProgressView {
 public:
  virtual ~TProgressView() = default;
  virtual void SetAllFilesText(const std::string& Text) = 0;     // lblAllFiles
  virtual void SetAllFilesBar(double Max, double Position) = 0;  // pbAllFiles, Min 0
  virtual std::string CurrentFileText() const = 0;               // lblCurrFile
  virtual void SetCurrentFileText(const std::string& Text) = 0;
  virtual void SetCurrentFileBar(double Max, double Position) = 0;  // pbCurrFile, Min 0
};

// The window registers its progress page here while it exists (nullptr takes it back); an
// installation started without one shows its progress nowhere.
void SetInstallProgressView(TProgressView* View) noexcept;
TProgressView& InstallProgressView() noexcept;
