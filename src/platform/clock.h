#pragma once
// Local time for NOW, TODAY, date entry and the RAND seed. Everything that
// reads the time goes through clock(), so tests can pin it.

#include <cstdint>

namespace platform {

struct LocalTime {
  int year = 1900;
  int month = 1;      // 1-12
  int day = 1;        // 1-31
  int hour = 0;       // 0-23
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class Clock {
public:
  virtual ~Clock() = default;
  virtual LocalTime now() const = 0;
  /// Milliseconds from an arbitrary start; only differences mean anything.
  virtual std::uint64_t tickCountMs() const = 0;
};

/// The clock in force: the system clock unless setClock installed another.
Clock& clock();

/// Installs a clock (not owned; must outlive its use), or the system clock
/// again when given nullptr.
void setClock(Clock* replacement);

/// A clock that always says the same time; tests move it by hand.
class FixedClock final : public Clock {
public:
  explicit FixedClock(LocalTime t) : m_time(t) {}
  LocalTime now() const override { return m_time; }
  std::uint64_t tickCountMs() const override { return m_ticks; }
  void set(LocalTime t) { m_time = t; }
  void advanceTicks(std::uint64_t ms) { m_ticks += ms; }

private:
  LocalTime m_time;
  std::uint64_t m_ticks = 0;
};

} // namespace platform
