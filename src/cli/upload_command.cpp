// tunecase-cli upload: a MIDI file to the upload server, whose key is printed and drawn as a
// QR code in the terminal, as the upload window shows it; or the delete of a stored key.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text_codec.h"
#include "base/translation.h"
#include "cli/qr_terminal.h"
#include "cli/server_options.h"
#include "qr/qr_drawing.h"
#include "qr/qr_encoder.h"
#include "qr/qr_png.h"

namespace tunecase::cli {

namespace {

struct UploadOptions {
    ServerOptions server;
    std::string file;
    std::string deleteKey;
    std::string png;
    CLI::Option* fileGiven = nullptr;
    CLI::Option* deleteGiven = nullptr;
};

int upload(const UploadOptions& o) {
    if ((o.fileGiven->count() > 0) == (o.deleteGiven->count() > 0)) {
        std::fputs(tr("tunecase-cli upload: give FILE.mid or --delete KEY\nRun with --help for more information.\n"), stderr);
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
    if (!uploader.pageUrl().empty()) std::printf("page %s\n", uploader.pageUrl().c_str());
    // As the upload window draws it: level M, the smallest version, the best mask; the
    // page's address from our own server, the bare key from any other.
    const auto symbol = qr::encodeText(uploader.qrText(), {qr::LevelM, 0, true, qr::ChooseMask});
    if (!symbol) {
        std::fprintf(stderr, tr("tunecase-cli upload: the key is too long for a QR code\n"));
        return 1;
    }
    std::fputs(terminalDrawing(*symbol).c_str(), stdout);
    if (!o.png.empty()) {
        const int size = (symbol->size + 8) * 8;
        std::string error;
        if (!writeQrPng(o.png, drawQrSymbol(&*symbol, size, size, 32), &error)) {
            std::fprintf(stderr, tr("tunecase-cli upload: %s\n"), escapeControls(error).c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

Action declareUpload(CLI::App& sub) {
    auto o = std::make_shared<UploadOptions>();
    declareServerOptions(sub, o->server);
    o->deleteGiven = sub.add_option("--delete", o->deleteKey, tr("delete the upload stored under KEY instead"));
    sub.add_option("--png", o->png, tr("also write the QR code as a PNG picture"));
    o->fileGiven = sub.add_option("FILE", o->file, tr("the MIDI file to upload (.mid); it is sent as Chimeline.mid"));
    sub.footer(tr("Prints 'key KEY' (and 'page URL' when the server is one of ours) and the QR code of the page, "
               "or of the key for any other server; with --delete, 'deleted KEY'. A failed request, a status "
               "other than 200 or an answer without a key fail with exit status 1."));
    return [o] { return upload(*o); };
}

}  // namespace tunecase::cli
