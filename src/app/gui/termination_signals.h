// SIGTERM, SIGHUP and SIGINT (a desktop session logging out, Ctrl-C in the terminal that
// started the player) end the player through its own shutdown, so the records are saved.
// The signal handler only writes the signal's number to a pipe; the event loop reads it and
// calls the handler on the UI thread.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tunecase {

class TerminationSignals final : public QObject {
public:
    // Catches the three signals until destroyed; `onSignal` runs on the UI thread with the
    // signal's number, once per signal that arrives.
    explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe or the handlers could not be set up (the signals then keep their
    // default action).
    bool active() const { return notifier_ != nullptr; }

private:
    void readPending();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tunecase
