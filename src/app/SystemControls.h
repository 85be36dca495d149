#pragma once
// Thin wrappers of the system's own controls: labels (STATIC), the check box and the push
// buttons (BUTTON) and the licence box (EDIT). They keep what the window needs to know of them;
// the system draws them.

#include <string_view>

#include "app/Actions.h"
#include "app/Control.h"

class TLabel : public TControl {
 public:
  // An auto-sized label measures itself from its text and font; a fixed one keeps Design's width
  // and wraps in it.
  void Create(TContainer& Parent, int Id, const TDesignRect& Design, std::wstring_view Caption,
              bool AutoSize = true);
  void ApplyDpi(UINT Dpi) override;

 protected:
  void TextChanged() override;

 private:
  void FitToText();
  bool AutoSize_ = true;
};

class TCheckBox : public TControl {
 public:
  void Create(TContainer& Parent, int Id, const TDesignRect& Design, std::wstring_view Caption);
  bool Checked() const;
  void SetChecked(bool Checked);
};

class TMemo : public TControl {
 public:
  // Empty; the text is set when it is needed.
  void Create(TContainer& Parent, int Id, const TDesignRect& Design);
  int LineCount() const;
};

// A push button bound to an action: it shows the action's caption and enabled state and runs
// the action when pressed.
class TButton : public TControl, private TActionClient {
 public:
  TButton() = default;
  ~TButton() override;
  void Create(TContainer& Parent, int Id, const TDesignRect& Design);
  TAction* Action() const { return Action_; }
  // Binds the button to Action and copies its caption and enabled state at once, even when the
  // action is the one already bound.
  void SetAction(TAction& Action);
  // The button was pressed: runs the bound action.
  void Click();

 private:
  void ActionChanged(const TAction& Action) override;
  void ActionGone() override { Action_ = nullptr; }

  TAction* Action_ = nullptr;
};
