#include "base/reporter.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "base/text_codec.h"
#include "base/translation.h"

namespace tunecase {

namespace {

StderrSink& defaultSink() {
    static StderrSink sink;
    return sink;
}

std::atomic<ReportSink*> activeSink{nullptr};
thread_local ReportSink* threadSink = nullptr;

// The reason of the innermost ScopedReason, and whether a report has carried it yet.
struct PendingReason {
    std::string text;
    bool said = false;
};
thread_local PendingReason currentReason;

}  // namespace

const char* MessageTable::textFor(uint32_t code) const {
    for (const auto& [c, text] : entries)
        if (c == code) return text;
    return otherText;
}

std::string formatCoded(std::string_view tag, uint32_t code, std::string_view text,
                        std::string_view path) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", code);
    std::string out;
    out.reserve(tag.size() + 9 + text.size() + path.size() + 3);
    out.append(tag).append(hex).append(" ").append(text);
    if (!path.empty()) out.append(" [").append(path).append("]");
    return out;
}

std::string fillIn(std::string_view pattern, std::string_view value) {
    std::string out(pattern);
    auto at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, value);
    return out;
}

std::string fillIn(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    size_t from = 0;
    for (std::string_view value : values) {
        const size_t at = pattern.find("%s", from);
        if (at == std::string_view::npos) break;
        out.append(pattern.substr(from, at - from)).append(value);
        from = at + 2;
    }
    out.append(pattern.substr(from));
    return out;
}

Answer report(Report r) {
    // A reason is said once, under the first message of its scope.
    if (r.reason.empty() && !currentReason.said && !currentReason.text.empty()) {
        r.reason = currentReason.text;
        currentReason.said = true;
    }
    ReportSink* sink = threadSink ? threadSink : activeSink.load();
    if (!sink) sink = &defaultSink();
    return sink->show(r);
}

void reportCodedText(std::string_view tag, uint32_t code, std::string_view text,
                     std::string_view path) {
    Report r;
    r.tag = tag;
    r.code = code;
    r.text = text;
    r.path = path;
    r.kind = BoxKind::SystemModalOk;
    r.visible = formatCoded(tag, code, tr(r.text), path);
    report(std::move(r));
}

void reportCoded(const MessageTable& table, uint32_t code, std::string_view path) {
    reportCodedText(table.tag, code, table.textFor(code), path);
}

Answer reportText(std::string_view text, BoxKind kind) {
    Report r;
    r.text = text;
    r.kind = kind;
    r.visible = tr(r.text);
    Answer a = report(std::move(r));
    return kind == BoxKind::OkCancel ? a : Answer::Ok;
}

Answer reportFilled(std::string_view pattern, std::string_view value, BoxKind kind) {
    Report r;
    r.text = fillIn(pattern, value);
    r.kind = kind;
    r.visible = fillIn(tr(std::string(pattern)), value);
    Answer a = report(std::move(r));
    return kind == BoxKind::OkCancel ? a : Answer::Ok;
}

ScopedReason::ScopedReason(std::string reason)
    : previous_(std::move(currentReason.text)), previousSaid_(currentReason.said) {
    currentReason = {std::move(reason), false};
}

ScopedReason::~ScopedReason() { currentReason = {std::move(previous_), previousSaid_}; }

void pauseAfterBox(int milliseconds) {
    ReportSink* sink = threadSink ? threadSink : activeSink.load();
    if (!sink) sink = &defaultSink();
    if (milliseconds > 0 && sink->pausesAfterBox())
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

ReportSink* setReportSink(ReportSink* sink) {
    ReportSink* previous = activeSink.exchange(sink);
    return previous;
}

ReportSink* setThreadReportSink(ReportSink* sink) {
    ReportSink* previous = threadSink;
    threadSink = sink;
    return previous;
}

Answer StderrSink::show(const Report& r) {
    if (r.kind == BoxKind::Beep) {
        if (!r.visible.empty())
            std::fprintf(stderr, "%s\n", escapeControls(r.visible, ControlEscape::KeepBytes).c_str());
        return Answer::Ok;
    }
    // A path or a title in the text may carry control bytes; the terminal must not act on them.
    std::fprintf(stderr, "%s\n", escapeControls(r.visible, ControlEscape::KeepBytes).c_str());
    if (!r.reason.empty())
        std::fprintf(stderr, "  %s\n", escapeControls(r.reason, ControlEscape::KeepBytes).c_str());
    return r.kind == BoxKind::OkCancel ? answer_ : Answer::Ok;
}

Answer CaptureSink::show(const Report& r) {
    std::lock_guard lock(mutex_);
    reports_.push_back(r);
    if (r.kind != BoxKind::OkCancel) return Answer::Ok;
    if (!queued_.empty()) {
        Answer a = queued_.front();
        queued_.erase(queued_.begin());
        return a;
    }
    return defaultAnswer;
}

std::vector<Report> CaptureSink::reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
}

std::vector<std::string> CaptureSink::visibleTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    out.reserve(reports_.size());
    for (const auto& r : reports_) out.push_back(r.visible);
    return out;
}

size_t CaptureSink::count() const {
    std::lock_guard lock(mutex_);
    return reports_.size();
}

void CaptureSink::clear() {
    std::lock_guard lock(mutex_);
    reports_.clear();
    queued_.clear();
}

void CaptureSink::queueAnswer(Answer a) {
    std::lock_guard lock(mutex_);
    queued_.push_back(a);
}

}  // namespace tunecase
