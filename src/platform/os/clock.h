#pragma once
// The engine's only source of the current date and time. Production uses SystemClock
// (local time); tests use FixedClock and move it forward instead of sleeping.

#include <cstdint>

#include "text/datetime.h"

namespace sproutsmith::os {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual text::DateTime Now() const = 0;  // local time
  virtual text::DateTime UtcNow() const = 0;
};

class SystemClock final : public Clock {
 public:
  text::DateTime Now() const override;
  text::DateTime UtcNow() const override;
};

class FixedClock final : public Clock {
 public:
  explicit FixedClock(text::DateTime now) : now_(now) {}
  text::DateTime Now() const override { return now_; }
  text::DateTime UtcNow() const override { return now_; }
  void Set(text::DateTime now) { now_ = now; }
  void Advance(std::int64_t seconds) { now_ = now_.AddSeconds(seconds); }

 private:
  text::DateTime now_;
};

}  // namespace sproutsmith::os
