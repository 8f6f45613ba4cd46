// tunecase-cli upload: a MIDI file to the upload server, whose key is printed and drawn as a
// QR code in the terminal, as the upload window shows it; or the delete of a stored key.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text_codec.h"
#include "cli/qr_terminal.h"
#include "cli/server_options.h"
#include "qr/qr_encoder.h"

namespace tunecase::cli {

namespace {

struct UploadOptions {
    ServerOptions server;
    std::string file;
    std::string deleteKey;
    CLI::Option* fileGiven = nullptr;
    CLI::Option* deleteGiven = nullptr;
};

int upload(const UploadOptions& o) {
    if ((o.fileGiven->count() > 0) == (o.deleteGiven->count() > 0)) {
        std::fprintf(stderr, "tunecase-cli upload: give FILE.mid or --delete KEY\nRun with --help for more information.\n");
        return 2;
    }
    const auto server = chosenServer(o.server, true, "upload");
    if (!server) return 2;
    SongUploader uploader(*server, timeoutsFor(o.server));
    if (o.deleteGiven->count() > 0) {
        if (const NetResult result = uploader.deleteKey(o.deleteKey); !result) return netFailure("upload", result);
        std::printf("deleted %s\n", escapeControls(o.deleteKey).c_str());
        return 0;
    }
    if (const NetResult result = uploader.upload(o.file); !result) return netFailure("upload", result);
    std::printf("key %s\n", escapeControls(uploader.key()).c_str());
    // As the upload window draws it: level M, the smallest version, the best mask.
    const auto symbol = qr::encodeText(uploader.key(), {qr::LevelM, 0, true, qr::ChooseMask});
    if (!symbol) {
        std::fprintf(stderr, "tunecase-cli upload: the key is too long for a QR code\n");
        return 1;
    }
    std::fputs(terminalDrawing(*symbol).c_str(), stdout);
    return 0;
}

}  // namespace

Action declareUpload(CLI::App& sub) {
    auto o = std::make_shared<UploadOptions>();
    declareServerOptions(sub, o->server);
    o->deleteGiven = sub.add_option("--delete", o->deleteKey, "delete the upload stored under KEY instead");
    o->fileGiven = sub.add_option("FILE", o->file, "the MIDI file to upload (.mid); it is sent as Chimeline.mid");
    sub.footer("Prints 'key KEY' and the key's QR code; with --delete, 'deleted KEY'. A failed request, a status "
               "other than 200 or an answer without a key fail with exit status 1.");
    return [o] { return upload(*o); };
}

}  // namespace tunecase::cli
