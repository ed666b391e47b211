#pragma once

#include <QObject>

#include <memory>

namespace jw {

// Turns the system's requests to end the program (SIGTERM, SIGINT, SIGHUP)
// into a signal on the event loop, so the program can stop the way its own
// exit command does.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void terminationRequested();
};

// At most one per process.
std::unique_ptr<TerminationSignals> watchTerminationSignals();

} // namespace jw
