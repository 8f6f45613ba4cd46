#include "app/song_list_editor.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "app/compose_preferences.h"
#include "base/user_folders.h"
#include "songs/directory_file_list.h"
#include "songs/song_import.h"
#include "songs/song_list.h"
#include "strips/strip_drawing.h"
#include "strips/strip_fitting.h"

namespace tunecase {

namespace fs = std::filesystem;

namespace {

// More draws than this for a handful of songs means the random routine repeats itself.
constexpr int kMostDraws = 100000;

void beep() { reportText("", BoxKind::Beep); }

// A file this editor has just made and nobody else knows of.
void discardNewFile(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// The same folder, however it is written ("a/b", "a/b/", "a/./b").
bool sameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec1, ec2;
    const fs::path ca = fs::weakly_canonical(a, ec1);
    const fs::path cb = fs::weakly_canonical(b, ec2);
    if (ec1 || ec2) return false;
    return ca.lexically_normal() == cb.lexically_normal();
}

}  // namespace

ChoiceComposer defaultChoiceComposer() {
    // Every song is composed in a context of its own, made for the run and gone with it.
    return [](const std::string& outputPath, const ComposeOptions& options) {
        const auto ctx = std::make_unique<ComposeContext>();
        return ComposeSong(*ctx, outputPath, options);
    };
}

RandomRange defaultRandomRange() {
    return [](int low, int high) { return randomBetween(low, high); };
}

std::string songFolder(const PlayerSettings& settings) {
    const std::string folder = fieldText(settings.dataFolder, kPathBytes);
    return folder.empty() ? specialFolder(kFolderMyMusic) : folder;
}

std::string uploadWorkFile(std::string_view workFolder) { return joinPath(workFolder, kUploadWorkFileName); }

// ---- Songs Tunecase made ---------------------------------------------------------------------------

bool isMadeSongName(std::string_view name) {
    constexpr std::string_view kExtension = ".mid";
    if (name.size() <= kExtension.size() || name.substr(name.size() - kExtension.size()) != kExtension) return false;
    name.remove_suffix(kExtension.size());
    int numbers = 0;
    size_t digits = 0;
    for (char c : name) {
        if (c >= '0' && c <= '9') {
            ++digits;
            continue;
        }
        if (c != '-' || digits == 0) return false;
        ++numbers;
        digits = 0;
    }
    return digits > 0 && numbers + 1 == 7;
}

bool isOwnSongFile(std::string_view path, std::string_view folder) {
    if (path.empty() || folder.empty()) return false;
    const fs::path file(path);
    if (!isMadeSongName(file.filename().string())) return false;
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return false;
    return sameFolder(file.parent_path(), fs::path(folder));
}

std::string ownSongFileOf(const SongList& list, int index, std::string_view folder) {
    if (index < 0 || index >= list.count || index >= kSongSlots) return {};
    const std::string path = fieldText(list.entries[index].path, kPathBytes);
    if (!isOwnSongFile(path, folder)) return {};
    // Another entry still playing the same file keeps it.
    for (int i = 0; i < list.count && i < kSongSlots; ++i)
        if (i != index && fieldText(list.entries[i].path, kPathBytes) == path) return {};
    return path;
}

std::vector<std::string> ownSongFiles(const SongList& list, std::string_view folder) {
    std::vector<std::string> files;
    for (int i = 0; i < std::min(list.count, kMaxSongs); ++i) {
        const std::string path = fieldText(list.entries[i].path, kPathBytes);
        if (isOwnSongFile(path, folder) && std::find(files.begin(), files.end(), path) == files.end())
            files.push_back(path);
    }
    return files;
}

// ---- Editing the list ---------------------------------------------------------------------------

int addMadeSong(SongList& list, const MadeSong& song, int selectedLine) {
    const int at = selectedLine >= 0 && selectedLine < list.count ? selectedLine : -1;
    if (!addSongToList(list, song.path, song.title, at)) {
        discardNewFile(song.path);
        return -1;
    }
    return at >= 0 ? at : list.count - 1;
}

bool renameEntry(SongList& list, int line, std::string_view title) {
    if (line < 0 || line >= list.count || line >= kSongSlots) return false;
    while (!title.empty() && (title.front() == ' ' || title.front() == '\t')) title.remove_prefix(1);
    while (!title.empty() && (title.back() == ' ' || title.back() == '\t')) title.remove_suffix(1);
    if (title.empty()) return false;
    size_t keep = std::min(title.size(), kTitleBytes - 1);
    // Never half a character: back off over continuation bytes to the start of the one cut.
    if (keep < title.size())
        while (keep > 0 && (static_cast<unsigned char>(title[keep]) & 0xC0) == 0x80) --keep;
    return setFieldText(list.entries[line].title, kTitleBytes, title.substr(0, keep));
}

int moveEntry(SongList& list, int line, bool up) {
    if (line < 0 || line >= list.count || line >= kSongSlots) return -1;
    const int other = up ? line - 1 : line + 1;
    if (other < 0 || other >= list.count) return -1;
    std::swap(list.entries[line], list.entries[other]);
    return other;
}

bool deleteEntry(SongList& list, int line, std::string_view folder, std::string& ownFile) {
    ownFile.clear();
    if (line < 0 || line >= list.count) return false;
    std::string file = ownSongFileOf(list, line, folder);
    if (!removeEntry(list, line)) return false;
    ownFile = std::move(file);
    return true;
}

std::vector<std::string> deleteAllEntries(SongList& list, std::string_view folder) {
    std::vector<std::string> files = ownSongFiles(list, folder);
    list = emptySongList();
    return files;
}

int32_t closingIndex(const SongList& list, int selectedLine) {
    return selectedLine >= 0 && selectedLine < list.count ? selectedLine : 0;
}

// ---- Making songs ------------------------------------------------------------------------------------

std::optional<MadeSong> arrangeNewSong(const std::string& songDataPath, const std::string& folder,
                                       const SongArranger& arranger) {
    makeFolders(folder);
    MadeSong song;
    song.path = newSongPath(folder);
    if (!arranger || !arranger(songDataPath, song.path, song.title)) {
        discardNewFile(song.path);
        return std::nullopt;
    }
    return song;
}

std::optional<MadeSong> importNewSong(const std::string& midiPath, const std::string& folder) {
    makeFolders(folder);
    ImportedSong imported = importMidiFile(midiPath, folder);
    if (!imported.ok) return std::nullopt;
    return MadeSong{imported.path, imported.title};
}

std::vector<int> chooseAutoSelection(int fileCount, const RandomRange& random) {
    std::vector<int> chosen;
    if (fileCount <= 0) return chosen;
    if (fileCount == 1) return {0};
    const int wanted = std::min(fileCount - 1, kAutoSelectMost);
    std::vector<bool> taken(static_cast<size_t>(fileCount), false);
    for (int draws = 0; static_cast<int>(chosen.size()) < wanted && draws < kMostDraws; ++draws) {
        const int index = random(0, fileCount - 1);
        if (index < 0 || index >= fileCount || taken[static_cast<size_t>(index)]) continue;
        taken[static_cast<size_t>(index)] = true;
        chosen.push_back(index);
    }
    return chosen;
}

std::vector<std::string> autoSelectionFiles(std::string_view libraryFolder, const RandomRange& random) {
    const std::string folder(libraryFolder);
    const CDirectoryFileList files(folder, kLibraryPattern);
    std::vector<std::string> paths;
    for (int index : chooseAutoSelection(files.count(), random)) paths.push_back(joinPath(folder, files.name(index)));
    return paths;
}

int autoSelect(std::string_view libraryFolder, const std::string& folder, const RandomRange& random,
               const SongArranger& arranger, const std::function<void(const MadeSong&)>& made,
               const std::atomic<bool>* stop) {
    const std::vector<std::string> files = autoSelectionFiles(libraryFolder, random ? random : defaultRandomRange());
    if (files.empty()) {
        reportText(kEmptyLibraryText, BoxKind::Ok);
        return 0;
    }
    int count = 0;
    for (const std::string& file : files) {
        if (stop && *stop) break;
        if (auto song = arrangeNewSong(file, folder, arranger)) {
            ++count;
            if (made) made(*song);
        }
    }
    return count;
}

// ---- The editor ----------------------------------------------------------------------------------------

SongListEditor::SongListEditor(PlayerSettings& settings, SongList& list, ProgramFolders folders,
                               SongListView& view, Services services)
    : settings_(settings),
      list_(list),
      folders_(std::move(folders)),
      folder_(songFolder(settings)),
      view_(view),
      services_(std::move(services)),
      jobs_([this](JobRunner::Task task) { view_.postToUi(std::move(task)); }) {
    jobs_.setBusyListener([this](bool busy) { onMessage(busy ? listmsg::ListBusy : listmsg::ListIdle); });
    if (!services_.arranger) services_.arranger = defaultSongArranger();
    if (!services_.random) services_.random = defaultRandomRange();
    if (!services_.chosenComposer) {
        if (services_.composer)
            services_.chosenComposer = [composer = services_.composer](const std::string& path, const ComposeOptions&) {
                return composer(path);
            };
        else
            services_.chosenComposer = defaultChoiceComposer();
    }
}

SongListEditor::~SongListEditor() {
    stop_ = true;
    waitForJobs();
}

void SongListEditor::start() {
    normaliseSongList(list_);
    refresh(list_.count > 0 ? list_.currentIndex : -1);
}

void SongListEditor::refresh(int selectedLine) {
    std::vector<std::string> titles;
    for (int i = 0; i < list_.count && i < kSongSlots; ++i) titles.push_back(fieldText(list_.entries[i].title, kTitleBytes));
    view_.showList(titles, selectedLine >= 0 && selectedLine < list_.count ? selectedLine : -1);
}

void SongListEditor::onButton(int index) {
    // The buttons are disabled while busy; a click that slips through does nothing.
    if (busy_.busy()) return;
    switch (index) {
        case listbutton::Midi: importMidi(); break;
        case listbutton::Library: addFromLibrary(); break;
        case listbutton::AutoCompose: autoCompose(); break;
        case listbutton::Up: moveUp(); break;
        case listbutton::Down: moveDown(); break;
        case listbutton::Delete: deleteSelected(); break;
        case listbutton::DeleteAll: deleteAll(); break;
        case listbutton::Export: exportSelected(); break;
        case listbutton::AutoSelect: autoSelection(); break;
        case listbutton::Download: download(); break;
        case listbutton::Upload: upload(); break;
        case listbutton::Close: close(); break;
        default: break;
    }
}

void SongListEditor::onMessage(uint32_t message) {
    switch (message) {
        case listmsg::ListBusy:
            busy_.onBusy();
            view_.setBusy(true);
            break;
        case listmsg::ListIdle:
            busy_.onIdle();
            view_.setBusy(false);
            // A close asked for while the job ran happens now that its songs are in.
            if (closePending_ && !jobs_.busy()) close();
            break;
        case listmsg::UploadReady: {
            const std::string work = uploadWorkFile(folders_.work);
            view_.runUpload(work);
            discardNewFile(work);
            break;
        }
        default: break;
    }
}

bool SongListEditor::refuseWhenFull() {
    if (list_.count < kMaxSongs) return false;
    reportText(kListFullText, BoxKind::Ok);
    return true;
}

bool SongListEditor::startJob(std::function<void(const std::function<void(const MadeSong&)>&)> work) {
    if (jobs_.busy()) return false;
    jobs_.start([this, work = std::move(work)](const JobRunner::Job& job) {
        work([this, &job](const MadeSong& song) {
            job.post([this, song] {
                // Each song joins where the selection is when it arrives.
                const int line = addMadeSong(list_, song, view_.selectedLine());
                if (line >= 0) refresh(view_.selectedLine() >= 0 ? line : -1);
            });
        });
    });
    return true;
}

void SongListEditor::startExportJob(std::function<bool()> work, uint32_t completion, std::string announced) {
    if (jobs_.busy()) return;
    auto wrote = std::make_shared<bool>(false);
    jobs_.start([work = std::move(work), wrote](const JobRunner::Job&) { *wrote = work(); },
                [this, wrote, completion, announced] {
                    if (*wrote && completion != listmsg::ListIdle) onMessage(completion);
                    // An export otherwise ends without a sign; a failure has said why.
                    if (*wrote && !announced.empty()) reportFilled(N_("Exported to %s."), announced, BoxKind::Ok);
                });
}

ExportRequest SongListEditor::rememberedExportRange() const {
    ExportRequest request;
    if (services_.preferencesPath.empty()) return request;
    const ExportRange range = readExportRange(services_.preferencesPath);
    request.lowNote = range.lowNote;
    request.highNote = range.highNote;
    return request;
}

void SongListEditor::rememberExportRange(const ExportRequest& request) {
    if (services_.preferencesPath.empty()) return;
    writeExportRange(services_.preferencesPath, {request.lowNote, request.highNote});
}

void SongListEditor::rememberFolderOf(const char* key, const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) return;
    lastFolders_[key] = folder;
    if (!services_.preferencesPath.empty()) writePreferences(services_.preferencesPath, {{key, folder}});
}

std::string SongListEditor::rememberedFolder(const char* key) const {
    std::string folder;
    if (!services_.preferencesPath.empty()) folder = readPreference(services_.preferencesPath, key);
    else if (auto it = lastFolders_.find(key); it != lastFolders_.end()) folder = it->second;
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) folder = specialFolder(kFolderMyMusic);
    return folder;
}

std::string SongListEditor::suggestedExportPath(const std::string& extension) const {
    const std::string folder = rememberedFolder("export_folder");
    std::string name = displayText(exportTitle_);
    // A title may hold what a file name cannot.
    for (char& c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    while (!name.empty() && (name.front() == ' ' || name.front() == '.')) name.erase(name.begin());
    if (name.empty()) name = "song";
    return joinPath(folder, name + "." + extension);
}

void SongListEditor::waitForJobs() {
    jobs_.waitIdle([this] { view_.pumpEvents(10); });
}

void SongListEditor::importMidi() {
    if (refuseWhenFull()) return;
    const std::string path = view_.chooseMidiFile();
    if (path.empty()) return;
    rememberFolderOf("import_folder", path);
    const std::string folder = folder_;
    startJob([path, folder](const auto& made) {
        if (auto song = importNewSong(path, folder)) made(*song);
    });
}

void SongListEditor::addFromLibrary() {
    if (refuseWhenFull()) return;
    makeFolders(folder_);
    const std::string path = newSongPath(folder_);
    const std::string title = view_.runLibrary(path);
    if (title.empty()) {
        discardNewFile(path);
        return;
    }
    if (view_.libraryWantsStrip()) {
        // The arranged song is only the strip's source: it does not join the list.
        exportStripOf(path, title);
        discardNewFile(path);
        return;
    }
    const int line = addMadeSong(list_, {path, title}, view_.selectedLine());
    if (line >= 0) refresh(view_.selectedLine() >= 0 ? line : -1);
}

void SongListEditor::autoCompose() {
    if (refuseWhenFull()) return;
    const std::string& remembered = services_.preferencesPath;
    const ComposeChoices initial = remembered.empty() ? ComposeChoices{} : readComposePreferences(remembered);
    std::optional<ComposeAnswer> answer = view_.askCompose(initial);
    if (!answer) return;
    if (!remembered.empty()) writeComposePreferences(remembered, answer->choices);
    if (answer->previewed) {
        const int line = addMadeSong(list_, *answer->previewed, view_.selectedLine());
        if (line >= 0) refresh(view_.selectedLine() >= 0 ? line : -1);
        return;
    }
    const std::string folder = folder_;
    const ChoiceComposer composer = services_.chosenComposer;
    startJob([folder, composer, choices = answer->choices](const auto& made) {
        if (auto song = composeChosenSong(folder, choices, composer)) made(*song);
    });
}

void SongListEditor::renameSelected() {
    const int line = view_.selectedLine();
    if (line < 0 || line >= list_.count) {
        beep();
        return;
    }
    if (const auto title = view_.askTitle(fieldText(list_.entries[line].title, kTitleBytes))) rename(line, *title);
}

bool SongListEditor::rename(int line, const std::string& title) {
    if (!renameEntry(list_, line, title)) {
        beep();
        return false;
    }
    refresh(line);
    return true;
}

void SongListEditor::moveUp() {
    const int line = moveEntry(list_, view_.selectedLine(), true);
    if (line < 0) {
        beep();
        return;
    }
    refresh(line);
}

void SongListEditor::moveDown() {
    const int line = moveEntry(list_, view_.selectedLine(), false);
    if (line < 0) {
        beep();
        return;
    }
    refresh(line);
}

void SongListEditor::deleteSelected() {
    const int line = view_.selectedLine();
    std::string ownFile;
    if (!deleteEntry(list_, line, folder_, ownFile)) {
        beep();
        return;
    }
    // The same line number stays selected; past the end nothing is.
    refresh(line);
    if (!ownFile.empty()) discardMadeSongs({ownFile});
}

void SongListEditor::deleteAll() { emptyList(true); }

bool SongListEditor::emptyList(bool askFirst) {
    const std::vector<std::string> files = ownSongFiles(list_, folder_);
    if (askFirst && !files.empty()) {
        const std::string question = files.size() == 1
                                         ? std::string(kTrashMadeSongQuestion)
                                         : fillIn(tr(kTrashMadeSongsQuestion), std::to_string(files.size()));
        if (reportText(question, BoxKind::OkCancel) != Answer::Ok) return false;
    }
    deleteAllEntries(list_, folder_);
    refresh(-1);
    discardMadeSongs(files);
    return true;
}

void SongListEditor::discardMadeSongs(const std::vector<std::string>& files) {
    std::vector<std::string> left;
    std::string firstReason;
    for (const std::string& file : files) {
        std::string reason;
        if (view_.moveToTrash(file, reason)) continue;
        if (left.empty()) firstReason = reason.empty() ? std::string(tr("no trash for it")) : reason;
        left.push_back(file);
    }
    if (left.empty()) return;
    const std::string what = left.size() == 1 ? fileNamePart(left[0]) : std::to_string(left.size());
    std::string question = tr(left.size() == 1 ? kDeleteUntrashedSongQuestion : kDeleteUntrashedSongsQuestion);
    // Filled one after the other, so that a "%s" in a file name stays as it is.
    const size_t first = question.find("%s");
    question.replace(first, 2, what);
    question.replace(question.find("%s", first + what.size()), 2, firstReason);
    if (reportText(question, BoxKind::OkCancel) != Answer::Ok) return;
    for (const std::string& file : left) {
        std::error_code ec;
        fs::remove(file, ec);
    }
}

void SongListEditor::autoSelection() {
    if (reportText(kAutoSelectQuestion, BoxKind::OkCancel) != Answer::Ok) return;
    if (!emptyList(true)) return;
    const std::string library = folders_.library, folder = folder_;
    const RandomRange random = services_.random;
    const SongArranger arranger = services_.arranger;
    startJob([this, library, folder, random, arranger](const auto& made) {
        autoSelect(library, folder, random, arranger, made, &stop_);
    });
}

void SongListEditor::startExport(const ExportRequest& request, const ExportTarget& target, int line) {
    const SongEntry& entry = list_.entries[line];
    const std::string source = fieldText(entry.path, kPathBytes);
    const std::string title = fieldText(entry.title, kTitleBytes);
    const bool dropShort = settings_.deleteShortNoteChannel == 1;
    const bool dropLong = settings_.deleteLongNoteChannel == 1;
    if (target.format == ExportTarget::AudioFile) {
        // As the player would play it now: its plate, its channel switches, its speed.
        AudioExportJob job;
        job.source = source;
        job.output = target.path;
        job.preparation = {settings_.plateType, dropShort, dropLong};
        if (settings_.speedPercent >= 50 && settings_.speedPercent <= 150) job.speedPercent = settings_.speedPercent;
        startExportJob([job] { return exportAudio(job); }, listmsg::ListIdle, target.path);
    } else if (target.format == ExportTarget::ToyPianoFile) {
        ToyPianoExportJob job;
        job.source = source;
        job.lowNote = request.lowNote;
        job.highNote = request.highNote;
        job.output = target.path;
        job.deleteShortNoteChannel = dropShort;
        job.deleteLongNoteChannel = dropLong;
        startExportJob([job] { return exportToyPiano(job); }, listmsg::ListIdle, target.path);
    } else {
        RangedMidiExportJob job;
        job.source = source;
        job.lowNote = request.lowNote;
        job.highNote = request.highNote;
        job.program = target.format == ExportTarget::ToyPianoMidi ? 0 : kExportMusicBoxProgram;
        job.output = target.path;
        job.title = title;
        job.deleteShortNoteChannel = dropShort;
        job.deleteLongNoteChannel = dropLong;
        const bool uploading = target.path == uploadWorkFile(folders_.work);
        startExportJob([job] { return exportRangedMidi(job); }, uploading ? listmsg::UploadReady : listmsg::ListIdle,
                       uploading ? std::string() : target.path);
    }
}

void SongListEditor::exportSelected() {
    const int line = view_.selectedLine();
    if (line < 0 || line >= list_.count) {
        beep();
        return;
    }
    const ExportRequest request = view_.askExport(false);
    if (request.kind == ExportKind::Cancelled) return;
    rememberExportRange(request);
    exportTitle_ = fieldText(list_.entries[line].title, kTitleBytes);
    if (request.kind == ExportKind::Strip) {
        exportStrip(line);
        return;
    }
    const ExportTarget target = view_.chooseExportFile(request.kind);
    if (target.path.empty()) return;
    rememberFolderOf("export_folder", target.path);
    startExport(request, target, line);
}

void SongListEditor::exportStrip(int line) {
    const SongEntry& entry = list_.entries[line];
    exportTitle_ = fieldText(list_.entries[line].title, kTitleBytes);
    exportStripOf(fieldText(entry.path, kPathBytes), fieldText(entry.title, kTitleBytes));
}

void SongListEditor::exportStripOf(const std::string& path, const std::string& title) {
    exportTitle_ = title;
    const std::string boxesFile = joinPath(folders_.program, kBoxModelsFileName);
    std::vector<BoxModelError> errors;
    const std::vector<BoxModel> boxes = loadBoxModels(boxesFile, errors);
    if (boxes.empty()) {
        reportFilled(kNoStripBoxesText, boxesFile, BoxKind::Ok);
        return;
    }
    std::optional<StripSong> song = loadStripSong(path, settings_.deleteShortNoteChannel == 1,
                                                  settings_.deleteLongNoteChannel == 1);
    if (!song) return;  // the readers have said why
    // The strip carries the title the list shows.
    if (!title.empty()) song->title = title;

    std::vector<std::string> names;
    for (const BoxModel& box : boxes) names.push_back(box.name);
    const StripReporter reportFor = [&](const std::string& name) {
        const std::optional<BoxModel> box = findBoxModel(boxes, name);
        return box ? stripReportText(fitSongToBox(*song, *box)) : std::string();
    };
    const StripPreviewer preview = [&](const std::string& name, bool letter, double pxPerMm) {
        const std::optional<BoxModel> box = findBoxModel(boxes, name);
        if (!box) return StripImage{};
        StripDrawingOptions options;
        options.paper = letter ? PaperSize::Letter : PaperSize::A4;
        options.beatsPerBar = song->beatsPerBar;
        options.beatUnit = song->beatUnit;
        std::string unused;
        return renderStripFirstPage(fitSongToBox(*song, *box), *box, options, pxPerMm, unused);
    };
    const std::optional<StripChoice> choice = view_.askStripWithPreview(names, reportFor, preview);
    if (!choice) return;
    const std::optional<BoxModel> box = findBoxModel(boxes, choice->box);
    if (!box) return;
    const ExportTarget target = view_.chooseExportFile(ExportKind::Strip);
    if (target.path.empty()) return;
    rememberFolderOf("export_folder", target.path);

    StripDrawingOptions options;
    options.paper = choice->letter ? PaperSize::Letter : PaperSize::A4;
    options.beatsPerBar = song->beatsPerBar;
    options.beatUnit = song->beatUnit;
    std::string reason;
    if (!writeStripPdf(fitSongToBox(*song, *box), *box, options, target.path, reason))
        reportFilled(kStripNotWrittenText, target.path + ": " + reason, BoxKind::Ok);
    else
        reportFilled(N_("Exported to %s."), target.path, BoxKind::Ok);
}

void SongListEditor::upload() {
    const int line = view_.selectedLine();
    if (line < 0 || line >= list_.count) {
        beep();
        return;
    }
    const ExportRequest request = view_.askExport(true);
    if (request.kind == ExportKind::Cancelled) return;
    rememberExportRange(request);
    if (request.kind == ExportKind::ToyPiano) {
        reportText(kUploadToyPianoText, BoxKind::Ok);
        return;
    }
    // A fresh login has no work folder yet; a failed write is reported by the export itself.
    prepareWorkFolder(folders_);
    startExport(request, {uploadWorkFile(folders_.work), ExportTarget::MusicBoxMidi}, line);
}

void SongListEditor::download() { view_.runDownload(); }

void SongListEditor::close() {
    if (busy_.busy() || jobs_.busy()) {
        closePending_ = true;
        return;
    }
    closePending_ = false;
    list_.currentIndex = closingIndex(list_, view_.selectedLine());
    view_.endDialog();
}

void SongListEditor::onFilesDropped(const std::vector<std::string>& paths) {
    if (paths.size() > 1) {
        reportText(kListOwnerText, BoxKind::Ok);
        return;
    }
    if (paths.empty() || busy_.busy()) return;
    const std::string ext = extensionLower(paths[0]);
    if (ext != "mwd" && ext != "mid") return;
    if (refuseWhenFull()) return;
    const std::string folder = folder_;
    if (ext == "mid") {
        const std::string path = paths[0];
        startJob([path, folder](const auto& made) {
            if (auto song = importNewSong(path, folder)) made(*song);
        });
        return;
    }
    std::string copy = paths[0];
    if (!addToArchive(folders_.library, copy)) return;
    const SongArranger arranger = services_.arranger;
    startJob([copy, folder, arranger](const auto& made) {
        if (auto song = arrangeNewSong(copy, folder, arranger)) made(*song);
    });
}

}  // namespace tunecase
