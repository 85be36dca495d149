#include "app/Actions.h"

TAction::~TAction() {
  for (TActionClient* Client : Clients_) Client->ActionGone();
}

void TAction::SetEnabled(bool Enabled) {
  Enabled_ = Enabled;
  for (TActionClient* Client : Clients_) Client->ActionChanged(*this);
}

void TAction::Execute() {
  if (Enabled_ && OnExecute) OnExecute();
}
