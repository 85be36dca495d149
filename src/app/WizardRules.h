#pragma once
// The wizard's update rule: which of the three buttons the current page enables, and what the
// third button stands for.

struct TWizardButtons {
  bool PrevEnabled;
  bool NextEnabled;
  bool FinishBoundToFinish;  // true: "완료" (acFinish); false: "취소" (acCancel)
};

// Page: the current page index; ProgressPage: the index of the progress page; the agreement
// page is page 1, where Next follows the tick.
TWizardButtons WizardButtons(int Page, int ProgressPage, bool AgreementTicked);

inline constexpr int kAgreementPage = 1;
