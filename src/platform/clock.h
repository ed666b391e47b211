#pragma once

#include <QtGlobal>

#include <memory>

namespace jw {

// A clock that only moves forward, for measuring how long something lasted;
// unaffected by changes of the wall clock or by midnight.
class MonotonicClock
{
public:
    virtual ~MonotonicClock() = default;
    virtual qint64 nowMs() const = 0;
};

std::unique_ptr<MonotonicClock> createSystemClock();

} // namespace jw
