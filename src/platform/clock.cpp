#include "platform/clock.h"

#include <QElapsedTimer>

namespace jw {

namespace {

class SteadyClock final : public MonotonicClock
{
public:
    SteadyClock() { m_timer.start(); }
    qint64 nowMs() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};

} // namespace

std::unique_ptr<MonotonicClock> createSystemClock()
{
    return std::make_unique<SteadyClock>();
}

} // namespace jw
