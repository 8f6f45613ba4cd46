// The desktop player's Reporter sink: every report becomes a message box on the UI thread.
// A report from another thread waits, as that thread's box would, until it is answered.
// So the UI thread must never block waiting for a worker without processing events (the
// stop sequence's wait for the player, for one): a worker stuck in a box would never
// return.
#pragma once

#include <QObject>
#include <functional>

#include "base/reporter.h"

namespace tunecase {

class MessageBoxSink final : public QObject, public ReportSink {
    Q_OBJECT
public:
    static constexpr const char* kBoxTitle = "Tunecase";

    // `present` shows one report and returns the answer; by default a QMessageBox (or the
    // bell for a beep). Tests give their own, since nobody can click under offscreen.
    // Create the sink on the UI thread.
    explicit MessageBoxSink(std::function<Answer(const Report&)> present = {});

    // Any thread. Without a running application the report goes to stderr instead.
    Answer show(const Report& report) override;

    // The default presentation: system-modal OK for coded errors, OK, OK/Cancel, or beep.
    static Answer showMessageBox(const Report& report);

private:
    std::function<Answer(const Report&)> present_;
};

// Installs a MessageBoxSink for the lifetime of the object.
class ScopedMessageBoxSink final {
public:
    explicit ScopedMessageBoxSink(std::function<Answer(const Report&)> present = {})
        : sink_(std::move(present)), previous_(setReportSink(&sink_)) {}
    ~ScopedMessageBoxSink() { setReportSink(previous_); }
    ScopedMessageBoxSink(const ScopedMessageBoxSink&) = delete;
    ScopedMessageBoxSink& operator=(const ScopedMessageBoxSink&) = delete;
    MessageBoxSink& sink() { return sink_; }

private:
    MessageBoxSink sink_;
    ReportSink* previous_;
};

}  // namespace tunecase
