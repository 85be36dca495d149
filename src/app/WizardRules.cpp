#include "app/WizardRules.h"

TWizardButtons WizardButtons(int Page, int ProgressPage, bool AgreementTicked) {
  TWizardButtons Buttons{};
  Buttons.PrevEnabled = Page > 0 && Page < ProgressPage;
  Buttons.NextEnabled = Page == kAgreementPage ? AgreementTicked : Page < ProgressPage;
  Buttons.FinishBoundToFinish = Page > ProgressPage;
  return Buttons;
}
