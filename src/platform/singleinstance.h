#pragma once

#include <QObject>

#include <memory>

namespace jw {

// At most one running copy of the program per user. A second start asks the
// running copy to show its configuration window and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Takes the per-user lock. True when this process is the running copy;
    // it then listens for show requests. Atomic across processes. A lock
    // whose process is gone never blocks; when no lock can be had at all the
    // process is the running copy all the same, and lockProblem() says why.
    virtual bool becomePrimary() = 0;
    // The lock's path and the system's reason when becomePrimary() could not
    // take a lock; empty otherwise.
    virtual QString lockProblem() const = 0;
    // For a second start: hands the show request to the running copy.
    // Returns whether it was delivered.
    virtual bool sendShowRequest() = 0;

Q_SIGNALS:
    void showRequested();
};

// The per-user lock and channel live in `folder` (the user's runtime folder
// when empty).
std::unique_ptr<SingleInstance> createSystemSingleInstance(const QString &folder = {});

} // namespace jw
