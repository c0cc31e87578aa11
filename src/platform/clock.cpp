#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace platform {
namespace {

class SystemClock final : public Clock {
public:
  LocalTime now() const override {
    using namespace std::chrono;
    const auto t = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&secs, &tm);
    LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    lt.millisecond =
        static_cast<int>(duration_cast<milliseconds>(t.time_since_epoch()).count() % 1000);
    return lt;
  }
  std::uint64_t tickCountMs() const override {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
};

SystemClock g_systemClock;
Clock* g_clock = &g_systemClock;

} // namespace

Clock& clock() { return *g_clock; }

void setClock(Clock* replacement) { g_clock = replacement ? replacement : &g_systemClock; }

} // namespace platform
