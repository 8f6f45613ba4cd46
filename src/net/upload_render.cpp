#include "net/upload_render.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "net/http_message.h"
#include "base/utilities.h"
#include "midi/midi_f0_data.h"
#include "playback/song_audio.h"

namespace tunecase {

namespace fs = std::filesystem;

std::string keyNameOf(int sharps, int minor) {
    static const char* const kMajor[15] = {"Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C",
                                           "G",  "D",  "A",  "E",  "B",  "F#", "C#"};
    static const char* const kMinor[15] = {"Ab", "Eb", "Bb", "F", "C",  "G",  "D", "A",
                                           "E",  "B",  "F#", "C#", "G#", "D#", "A#"};
    if (sharps < -7 || sharps > 7) return "";
    return minor ? std::string(kMinor[sharps + 7]) + "m" : kMajor[sharps + 7];
}

namespace {

// The first title, tempo, meter and key the song's events give.
SongFacts factsOf(const MidiTrackData& track) {
    SongFacts facts;
    bool title = false, tempo = false, meter = false, key = false;
    for (const auto& e : track.events()) {
        if (e->status != ev::Meta) continue;
        if (e->type == meta::TrackName && !title && !e->text().empty()) {
            facts.title = std::string(e->text().substr(0, 200));
            facts.titleText = displayText(facts.title);
            title = true;
        } else if (e->type == meta::Tempo && !tempo && e->value > 0) {
            facts.tempo = static_cast<int>((60'000'000 + e->value / 2) / e->value);
            tempo = true;
        } else if (e->type == meta::TimeSignature && !meter && e->length >= 2) {
            const int numerator = e->peekByte(0), power = e->peekByte(1);
            if (numerator > 0 && power < 7) facts.meter = std::to_string(numerator) + "/" + std::to_string(1 << power);
            meter = true;
        } else if (e->type == meta::KeySignature && !key && e->length >= 2) {
            facts.key = keyNameOf(static_cast<int8_t>(e->peekByte(0)), e->peekByte(1));
            key = true;
        }
    }
    return facts;
}

// What the MIDI readers report about an upload goes to the server's log, never to a box.
class LogSink final : public ReportSink {
public:
    explicit LogSink(const std::function<void(const std::string&)>& log) : log_(log) {}
    Answer show(const Report& report) override {
        if (log_ && report.kind != BoxKind::Beep) log_("uploads: the file reads badly: " + loggable(report.visible));
        return Answer::Cancel;
    }
    bool pausesAfterBox() const override { return false; }

private:
    const std::function<void(const std::string&)>& log_;
};

// Renders at the lowest priority: answering requests comes first.
void lowerThisThread() { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19); }

}  // namespace

RenderedUpload renderUpload(const std::string& midiBytes, const std::string& workFolder,
                            const std::string& soundfont) {
    RenderedUpload out;
    const std::string midiPath = joinPath(workFolder, "render-work.mid");
    const std::string audioPath = joinPath(workFolder, "render-work.ogg");
    std::string reason;
    if (!writeWhole(midiPath, midiBytes.data(), midiBytes.size(), &reason)) {
        out.error = reason;
        return out;
    }
    if (auto song = MidiF0Data::openFile(midiPath); song && song->track()) out.facts = factsOf(*song->track());
    PreparedSong prepared = prepareSongFile(midiPath, PreparationOptions{});
    std::error_code ec;
    fs::remove(midiPath, ec);
    if (!prepared.ok || !prepared.song || !prepared.song->track()) {
        out.error = "the file does not read as MIDI";
        return out;
    }
    if (!fs::is_regular_file(soundfont, ec)) {
        out.error = "no soundfont at " + soundfont;
        return out;
    }
    RenderOptions options;
    options.soundfont = soundfont;
    options.threads = 1;
    const RenderResult result = renderPreparedSong(prepared, 100, audioPath, options);
    if (!result.ok) {
        out.error = result.error;
        return out;
    }
    std::vector<uint8_t> bytes;
    if (readUpTo(audioPath, bytes, 64 << 20)) out.audio = Blob{"audio/ogg", std::string(bytes.begin(), bytes.end())};
    else out.error = "the rendered file does not read";
    fs::remove(audioPath, ec);
    return out;
}

UploadRenderer::UploadRenderer(SongStore& store, std::string workFolder, std::string soundfont,
                               std::function<void(const std::string&)> log)
    : store_(store),
      workFolder_(std::move(workFolder)),
      soundfont_(std::move(soundfont)),
      log_(std::move(log)),
      // A server has no window's thread: a job's ending runs where the job ran.
      jobs_([](JobRunner::Task task) { task(); }) {
    jobs_.start([this](const JobRunner::Job&) { run(); });
}

UploadRenderer::~UploadRenderer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    jobs_.cancel();
}

void UploadRenderer::wake() {
    {
        std::lock_guard lock(mutex_);
        wanted_ = true;
    }
    changed_.notify_all();
}

void UploadRenderer::drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stop_ || (!wanted_ && !busy_); });
}

void UploadRenderer::run() {
    lowerThisThread();
    LogSink sink(log_);
    setThreadReportSink(&sink);
    std::error_code ec;  // what a render cut short by a kill left behind
    fs::remove(joinPath(workFolder_, "render-work.mid"), ec);
    fs::remove(joinPath(workFolder_, "render-work.ogg"), ec);
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            busy_ = false;
            changed_.notify_all();
            changed_.wait(lock, [this] { return stop_ || wanted_; });
            if (stop_) return;
            wanted_ = false;
            busy_ = true;
        }
        for (const auto& key : store_.uploadsToRender()) {
            {
                std::lock_guard lock(mutex_);
                if (stop_) return;
            }
            const auto file = store_.uploadFile(key);
            if (!file) continue;  // deleted meanwhile
            const RenderedUpload rendered = renderUpload(file->bytes, workFolder_, soundfont_);
            if (!rendered.audio && log_) log_("uploads: " + key + " has no sound: " + rendered.error);
            store_.setRendered(key, rendered.facts, rendered.audio);
        }
    }
}

}  // namespace tunecase
