// Talking to the song server and the upload server: the song list, one song's file, an
// upload and its delete. What the web site and upload windows and the command line share;
// each call works on the calling thread (the windows run them through their job runners).
//
// The calls show the boxes the windows show ("Could not connect to the internet.",
// "Communication with the server failed.", ...) through the Reporter, and return why they failed in
// words a log or the command line can print.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/server_settings.h"
#include "net/song_list_table.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kUploadFailedText = N_("Communication with the server failed.");
inline constexpr const char* kUploadGeneralErrorText = N_("Only a MIDI file (.mid) can be uploaded.");
inline constexpr const char* kListStillLoadingText = N_("The song list is still loading.");
inline constexpr const char* kListLoadingLineText = N_("Loading...");

// Limits on every request, so that no server can make a call hang.
struct NetTimeouts final {
    int connectMs = 5000;  // until the connection stands
    int totalMs = 30000;   // the whole request, answer included
};

enum class NetFailure {
    None,
    Refused,      // nothing accepted the connection
    UnknownHost,  // the host name did not resolve
    TimedOut,     // the connect or total limit passed
    Status,       // an answer with a status other than 200
    TooLarge,     // the answer reached the 262,144-byte buffer's end
    Empty,        // an answer with nothing in it
    BadList,      // the list does not read as a table
    NoKey,        // an upload answer without a comma, or with nothing after it
    Transfer,     // any other failure of the request
    NoSuchRow,    // a row index outside the list
    NotMidi,      // an upload of a file whose extension is not "mid"
    CannotRead,   // the file to upload does not read
};

struct NetResult final {
    NetFailure failure = NetFailure::None;
    std::string detail;  // what went wrong, in plain words; "" on success
    explicit operator bool() const { return failure == NetFailure::None; }
};

// A request's CInternet outcome as a NetResult, for `what` ("the song list", ...).
class CInternet;
NetResult fetchResult(const CInternet& net, int ok, const std::string& what);

class SongServerClient final {
public:
    explicit SongServerClient(ServerAddress server, NetTimeouts timeouts = {});

    // Fetches and reads the list. When nothing usable arrives (no connection, a status other
    // than 200, an empty answer) the box "Could not connect to the internet." is shown and
    // the table is empty; an answer too large shows the read error box. A list that breaks
    // off keeps the rows before the fault (the table reader's boxes are shown) and fails.
    NetResult fetchList(SongListTable& table);

    // Fetches the file of `row` (its column 2, percent-encoded) into `bytes`.
    NetResult fetchSong(const SongListTable& table, int row, std::vector<uint8_t>& bytes);

    const ServerAddress& server() const { return server_; }

private:
    ServerAddress server_;
    NetTimeouts timeouts_;
};

// The upload window's server side: one song stored under a key at a time.
class SongUploader final {
public:
    explicit SongUploader(ServerAddress server, NetTimeouts timeouts = {});

    // Deletes the song held (if any), then uploads the file at `path` (its extension must be
    // "mid" in any case, else the refusal kUploadGeneralErrorText) as "Chimeline.mid". On a 200
    // answer the key is taken from it, even when empty (NoKey). A failure to communicate
    // shows "Communication with the server failed.".
    NetResult upload(const std::string& path);

    // Sends the delete of the key held and forgets it; nothing to do without a key. The box
    // is shown only when the server could not be reached; the answer's status is returned.
    NetResult release();

    // Sends the delete of `key` (the same rules).
    NetResult deleteKey(const std::string& key);

    // The key of the song stored, "" when none.
    const std::string& key() const { return key_; }
    // The address of the song's page when the server is one of ours and gave it, else "".
    const std::string& pageUrl() const { return pageUrl_; }
    // What the QR code carries: the page's address from our own server, the bare key from
    // any other.
    const std::string& qrText() const { return pageUrl_.empty() ? key_ : pageUrl_; }

private:
    ServerAddress server_;
    NetTimeouts timeouts_;
    std::string key_;
    std::string pageUrl_;
};

// The page address an upload answer's header field gives for `key`, when it is one a phone
// can open: http(s), printable, ending in "/s/KEY". "" otherwise.
std::string uploadPageFromHeader(std::string_view field, const std::string& key);

}  // namespace tunecase
