#pragma once
// The window's commands: an action has a caption, an enabled state and a handler, and every
// control bound to it shows the caption and follows the state. The action list's update rule
// runs when the application goes idle.

#include <functional>
#include <string>
#include <vector>

class TAction;

// What an action tells the controls bound to it.
class TActionClient {
 public:
  virtual void ActionChanged(const TAction& Action) = 0;
  // The action is going: forget it.
  virtual void ActionGone() = 0;

 protected:
  ~TActionClient() = default;
};

class TAction {
 public:
  explicit TAction(std::wstring Caption) : Caption_(std::move(Caption)) {}
  TAction(const TAction&) = delete;
  TAction& operator=(const TAction&) = delete;
  ~TAction();

  const std::wstring& Caption() const { return Caption_; }
  bool Enabled() const { return Enabled_; }
  // A disabled action disables every control bound to it, and an enabled one enables them.
  void SetEnabled(bool Enabled);
  // Runs OnExecute when the action is enabled.
  void Execute();
  std::function<void()> OnExecute;

  void AddClient(TActionClient& Client) { Clients_.push_back(&Client); }
  void RemoveClient(TActionClient& Client) { std::erase(Clients_, &Client); }

 private:
  std::wstring Caption_;
  bool Enabled_ = true;
  std::vector<TActionClient*> Clients_;
};

class TActionList {
 public:
  // Runs OnUpdate: the window calls it when the application goes idle.
  void Update() {
    if (OnUpdate) OnUpdate();
  }
  std::function<void()> OnUpdate;
};
