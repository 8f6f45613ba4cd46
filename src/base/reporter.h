// The Reporter: every message box of the program goes through here.
//
// A module raises a coded error ("MDTK%08X %s") from its own message table, or shows a
// fixed text. Texts are English catalogue ids; the Reporter translates them here, at one
// place, so every box speaks the user's language while the code keeps its place. The active sink decides how the box appears: a Qt message box in the
// desktop player, one line on stderr in the command line, a capture list in tests.
// Nothing here throws, and execution goes on after every box except for the answer a
// question returns.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tunecase {

// How a box is shown.
enum class BoxKind {
    SystemModalOk,  // the coded error boxes
    Ok,             // plain information box
    OkCancel,       // question; report() returns the answer
    Beep,           // no box, just the bell
};

enum class Answer { Ok, Cancel };

// One shown box. `tag` is empty and `code` 0 for the fixed-text boxes.
struct Report final {
    std::string tag;     // four-letter module tag, e.g. "GENE"
    uint32_t code = 0;   // module code, shown as eight upper-case hex digits
    std::string text;    // the module's message for the code, or the fixed text (English id)
    std::string path;    // optional path, shown in brackets after the text
    BoxKind kind = BoxKind::SystemModalOk;
    std::string visible; // the full text the user sees, translated
    std::string reason;  // the plain reason, when the caller knows one (translated)
};

// Where boxes go. Implementations must be callable from any thread; a question blocks
// the calling thread until the user answers.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual Answer show(const Report& report) = 0;
    // Whether a module that waits a moment after its box (so the user sees the next one
    // appear) should wait with this sink. A real box on screen: yes; text sinks: no.
    virtual bool pausesAfterBox() const { return true; }
};

// A module's table: code -> text, and the general text for unlisted codes.
struct MessageTable final {
    const char* tag;
    std::initializer_list<std::pair<uint32_t, const char*>> entries;
    const char* otherText;

    // The text for `code`: the listed one, else the general text.
    const char* textFor(uint32_t code) const;
};

// Formats "TAG%08X %s" or, with a path, "TAG%08X %s [%s]".
std::string formatCoded(std::string_view tag, uint32_t code, std::string_view text,
                        std::string_view path = {});

// Replaces the first "%s" of `pattern` with `value` (for the fixed texts that name a path).
std::string fillIn(std::string_view pattern, std::string_view value);

// Replaces the "%s" of `pattern` in turn with `values` (a translated pattern keeps its order).
std::string fillIn(std::string_view pattern, std::initializer_list<std::string_view> values);

// Shows a coded error from `table` in a system-modal box.
void reportCoded(const MessageTable& table, uint32_t code, std::string_view path = {});

// Shows a coded error with an explicit text (for codes whose text is chosen by the caller).
void reportCodedText(std::string_view tag, uint32_t code, std::string_view text,
                     std::string_view path = {});

// Shows a fixed text, translated. For OkCancel the answer is returned; other kinds return Ok.
// A text built at run time is shown as it is (its parts are translated by the caller).
Answer reportText(std::string_view text, BoxKind kind = BoxKind::Ok);

// Shows `pattern` translated, with its "%s" replaced by `value` (a path, a name).
Answer reportFilled(std::string_view pattern, std::string_view value, BoxKind kind = BoxKind::Ok);

// The plain reason the next report of this thread carries (the command line shows it under the
// message), said once within the lifetime of the object; the outer one is restored after.
class ScopedReason final {
public:
    explicit ScopedReason(std::string reason);
    ~ScopedReason();
    ScopedReason(const ScopedReason&) = delete;
    ScopedReason& operator=(const ScopedReason&) = delete;

private:
    std::string previous_;
    bool previousSaid_;
};

// Sends a report to the active sink and returns its answer.
Answer report(Report report);

// Sleeps `milliseconds` when the active sink shows real boxes (pausesAfterBox); returns at
// once for the stderr, silent and capture sinks.
void pauseAfterBox(int milliseconds);

// Installs `sink` as the process-wide sink and returns the previous one. nullptr restores
// the default stderr sink. The caller keeps ownership.
ReportSink* setReportSink(ReportSink* sink);

// Installs `sink` for the calling thread only, ahead of the process-wide one (a server's
// worker whose reports belong in its log, not in a window); nullptr removes it. Returns the
// thread's previous one.
ReportSink* setThreadReportSink(ReportSink* sink);

// One line per box on stderr; questions are answered with `answer` (Cancel by default, so a
// script never agrees to something it was not asked about).
class StderrSink final : public ReportSink {
public:
    explicit StderrSink(Answer answer = Answer::Cancel) : answer_(answer) {}
    Answer show(const Report& report) override;
    bool pausesAfterBox() const override { return false; }

private:
    Answer answer_;
};

// Shows nothing; questions are answered Ok. For fuzzing and benchmarks, where boxes are noise.
class SilentSink final : public ReportSink {
public:
    Answer show(const Report&) override { return Answer::Ok; }
    bool pausesAfterBox() const override { return false; }
};

// Keeps every report; questions get the queued answers in order, then `defaultAnswer`.
class CaptureSink final : public ReportSink {
public:
    Answer show(const Report& report) override;
    bool pausesAfterBox() const override { return false; }

    std::vector<Report> reports() const;
    std::vector<std::string> visibleTexts() const;
    size_t count() const;
    void clear();
    void queueAnswer(Answer a);
    Answer defaultAnswer = Answer::Ok;

private:
    mutable std::mutex mutex_;
    std::vector<Report> reports_;
    std::vector<Answer> queued_;
};

// Installs a CaptureSink for the lifetime of the object (tests).
class ScopedCapture final {
public:
    ScopedCapture() : previous_(setReportSink(&sink_)) {}
    ~ScopedCapture() { setReportSink(previous_); }
    ScopedCapture(const ScopedCapture&) = delete;
    ScopedCapture& operator=(const ScopedCapture&) = delete;
    CaptureSink& sink() { return sink_; }
    CaptureSink* operator->() { return &sink_; }

private:
    CaptureSink sink_;
    ReportSink* previous_;
};

}  // namespace tunecase
