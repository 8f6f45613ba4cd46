#include "net/song_server_client.h"

#include "base/reporter.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "net/internet.h"
#include "net/upload_form.h"

namespace tunecase {

NetResult fetchResult(const CInternet& net, int ok, const std::string& what) {
    if (ok && net.bodyCut())
        return {NetFailure::TooLarge, fillIn(tr("%s: the answer is larger than the %s-byte buffer"),
                                             {what, std::to_string(net.bufferSize())})};
    if (ok && net.httpStatus() != 200)
        return {NetFailure::Status,
                fillIn(tr("%s: the server answered with status %s"), {what, std::to_string(net.httpStatus())})};
    if (ok) return {};
    switch (net.failure()) {
        case FetchFailure::Refused:
            return {NetFailure::Refused,
                    fillIn(tr("%s: the connection was refused (%s)"), {what, net.failureDetail()})};
        case FetchFailure::UnknownHost:
            return {NetFailure::UnknownHost, what + ": " + net.failureDetail()};
        case FetchFailure::TimedOut:
            return {NetFailure::TimedOut,
                    fillIn(tr("%s: no complete answer in time (%s)"), {what, net.failureDetail()})};
        case FetchFailure::HttpStatus:
            return {NetFailure::Status,
                    fillIn(tr("%s: the server answered with status %s"), {what, std::to_string(net.httpStatus())})};
        default:
            return {NetFailure::Transfer, what + ": " + net.failureDetail()};
    }
}

namespace {

// One request's CInternet, with the limits set and the buffer the windows use.
struct Request {
    CInternet net;
    explicit Request(const NetTimeouts& t, int bufferSize = kInternetBufferSize) : net(bufferSize) {
        net.setTimeouts(t.connectMs, t.totalMs);
    }
};

}  // namespace

SongServerClient::SongServerClient(ServerAddress server, NetTimeouts timeouts)
    : server_(std::move(server)), timeouts_(timeouts) {}

NetResult SongServerClient::fetchList(SongListTable& table) {
    table = SongListTable();
    Request request(timeouts_, static_cast<int>(kSongListAnswerLimit));
    const int ok = request.net.getHtml(server_.url() + kSongListPath, 0);
    NetResult result = fetchResult(request.net, ok, tr("the song list"));
    if (result.failure == NetFailure::TooLarge) return result;  // the read error box has been shown
    if (result && request.net.received() == 0) result = {NetFailure::Empty, tr("the song list is empty")};
    if (!result) {
        reportText(kInternetConnectFailedText, BoxKind::Ok);
        return result;
    }
    if (!table.parse(request.net.body()))
        return {NetFailure::BadList, fillIn(tr("the song list does not read as a table (%s rows before the fault)"),
                                            std::to_string(table.rows()))};
    if (table.rows() == 0) return {NetFailure::Empty, tr("the song list has no rows")};
    return {};
}

NetResult SongServerClient::fetchSong(const SongListTable& table, int row, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (row < 0 || row >= table.rows())
        return {NetFailure::NoSuchRow, fillIn(tr("there is no row %s in the list of %s"),
                                              {std::to_string(row), std::to_string(table.rows())})};
    Request request(timeouts_);
    const int ok = request.net.getHtml(server_.url() + songFileRequest(table.cell(row, kColumnFileName)), 0);
    NetResult result = fetchResult(request.net, ok, tr("the song file"));
    if (result && request.net.received() == 0) result = {NetFailure::Empty, tr("the song file is empty")};
    if (result) bytes.assign(request.net.buffer(), request.net.buffer() + request.net.received());
    return result;
}

SongUploader::SongUploader(ServerAddress server, NetTimeouts timeouts)
    : server_(std::move(server)), timeouts_(timeouts) {}

std::string uploadPageFromHeader(std::string_view field, const std::string& key) {
    const bool http = field.substr(0, 7) == "http://" || field.substr(0, 8) == "https://";
    const std::string tail = "/s/" + key;
    if (!http || key.empty() || field.size() > 1000 || field.size() < tail.size() ||
        field.substr(field.size() - tail.size()) != tail)
        return "";
    for (char c : field)
        if (c <= 0x20 || c >= 0x7F) return "";
    return std::string(field);
}

NetResult SongUploader::upload(const std::string& path) {
    if (!key_.empty()) release();
    pageUrl_.clear();
    const std::string extension = extensionLower(path);
    if (extension != "mid") {
        reportText(kUploadGeneralErrorText, BoxKind::Ok);
        return {NetFailure::NotMidi, fillIn(tr("%s: only a \".mid\" file is uploaded"), path)};
    }
    std::vector<uint8_t> bytes;
    if (!readUpTo(path, bytes, kLargeReadLimit))
        return {NetFailure::CannotRead, fillIn(tr("%s: the file does not read"), path)};
    const std::string body = uploadFormBody(extension, bytes.data(), bytes.size());

    Request request(timeouts_);
    const int ok = request.net.postForm(server_.url() + kUploadPath, body, kUploadContentType, 0);
    NetResult result = fetchResult(request.net, ok, tr("the upload"));
    if (result && request.net.received() == 0) result = {NetFailure::Empty, tr("the upload's answer is empty")};
    if (!result) {
        if (result.failure != NetFailure::TooLarge) reportText(kUploadFailedText, BoxKind::Ok);
        return result;
    }
    key_ = uploadKeyFromAnswer(request.net.body());
    if (key_.empty()) return {NetFailure::NoKey, tr("the upload's answer holds no key (\"NUMBER,KEY\")")};
    if (request.net.header("X-Tunecase-Server") == "1")
        pageUrl_ = uploadPageFromHeader(request.net.header("X-Tunecase-Page"), key_);
    return {};
}

NetResult SongUploader::release() {
    if (key_.empty()) return {};
    const std::string key = key_;
    key_.clear();
    pageUrl_.clear();
    return deleteKey(key);
}

NetResult SongUploader::deleteKey(const std::string& key) {
    Request request(timeouts_);
    const int ok = request.net.postForm(server_.url() + kUploadPath, deleteFormBody(key), kUploadContentType, 0);
    NetResult result = fetchResult(request.net, ok, tr("the delete"));

    if (!ok && request.net.failure() != FetchFailure::HttpStatus) reportText(kUploadFailedText, BoxKind::Ok);
    return result;
}

}  // namespace tunecase
