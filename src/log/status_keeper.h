#pragma once
// An operation that narrates its steps in the status label puts the label's text back when it
// ends, however it ends, and lets the window show it.

#include <string>

#include "log/context.h"

namespace sproutsmith::log {

class StatusKeeper {
 public:
  // With `yield`, the window also processes its pending events when the label is restored.
  explicit StatusKeeper(Context& context, bool yield = false)
      : context_(context), text_(context.options.LabelStatus), yield_(yield) {}
  ~StatusKeeper() {
    if (context_.options.LabelStatus != text_) {
      context_.options.LabelStatus = text_;
      context_.ui.StatusChanged(text_);
    }
    if (yield_) context_.ui.Yield();
  }
  StatusKeeper(const StatusKeeper&) = delete;
  StatusKeeper& operator=(const StatusKeeper&) = delete;

 private:
  Context& context_;
  std::string text_;
  bool yield_;
};

}  // namespace sproutsmith::log
