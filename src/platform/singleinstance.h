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
    // it then listens for show requests. Atomic across processes.
    virtual bool becomePrimary() = 0;
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
