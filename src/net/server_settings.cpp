#include "net/server_settings.h"

#include <cctype>

#include "base/reporter.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "base/user_folders.h"

namespace tunecase {

namespace {

// Larger than any settings file a person writes; the rest is not read.
constexpr size_t kSettingsFileLimit = 64 * 1024;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool hostNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool fail(std::string* why, const char* text) {
    if (why) *why = text;
    return false;
}

// Splits "host[:port]" and checks both.
bool readHostAndPort(std::string_view rest, ServerAddress& address, std::string* why) {
    std::string_view host, port;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return fail(why, tr("an IPv6 host needs its closing \"]\""));
        host = rest.substr(0, close + 1);
        for (char c : host.substr(1, host.size() - 2))
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                return fail(why, tr("the IPv6 host holds something else than hexadecimal digits, \":\" and \".\""));
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest.front() != ':') return fail(why, tr("something follows the IPv6 host"));
        port = rest.empty() ? rest : rest.substr(1);
        if (host.size() <= 2) return fail(why, tr("the host is empty"));
    } else {
        const size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (colon != std::string_view::npos && port.empty()) return fail(why, tr("the port is empty"));
        if (host.empty()) return fail(why, tr("the host is empty"));
        for (char c : host)
            if (!hostNameChar(c)) return fail(why, tr("the host holds a character a host name cannot have"));
    }
    if (!port.empty()) {
        if (port.size() > 5) return fail(why, tr("the port is not a number from 1 to 65535"));
        int value = 0;
        for (char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return fail(why, tr("the port is not a number from 1 to 65535"));
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535) return fail(why, tr("the port is not a number from 1 to 65535"));
        address.port = value;
    }
    address.host = lowered(host);
    return true;
}

}  // namespace

std::string ServerAddress::url() const { return scheme + "://" + host + ":" + std::to_string(port); }

std::optional<ServerAddress> parseServerAddress(std::string_view text, std::string* why) {
    text = trimmed(text);
    ServerAddress address;
    const size_t schemeEnd = text.find("://");
    if (schemeEnd != std::string_view::npos) {
        address.scheme = lowered(text.substr(0, schemeEnd));
        if (address.scheme != "http" && address.scheme != "https") {
            fail(why, tr("the scheme is neither http nor https"));
            return std::nullopt;
        }
        text.remove_prefix(schemeEnd + 3);
    }
    address.port = address.scheme == "https" ? 443 : 80;
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    if (text.find_first_of("/?#") != std::string_view::npos) {
        fail(why, tr("a server address has no path, query or fragment"));
        return std::nullopt;
    }
    if (text.find('@') != std::string_view::npos) {
        fail(why, tr("a server address has no user name"));
        return std::nullopt;
    }
    if (!readHostAndPort(text, address, why)) return std::nullopt;
    return address;
}

ServerSettingsLoad parseServerSettings(std::string_view text, std::string_view fileName) {
    ServerSettingsLoad load;
    int lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#') continue;
        const std::string number = std::to_string(lineNumber);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            load.ignored.push_back(fillIn(tr("%s line %s: no \"name=address\", ignored"), {fileName, number}));
            continue;
        }
        const std::string name = lowered(trimmed(line.substr(0, eq)));
        ServerAddress* target = name == "song_server"     ? &load.settings.songServer
                                : name == "upload_server" ? &load.settings.uploadServer
                                                          : nullptr;
        if (!target) {
            load.ignored.push_back(
                fillIn(tr("%s line %s: unknown name \"%s\" (song_server or upload_server), ignored"),
                       {fileName, number, name}));
            continue;
        }
        std::string why;
        const auto address = parseServerAddress(line.substr(eq + 1), &why);
        if (!address) {
            load.ignored.push_back(fillIn(tr("%s line %s: %s, ignored"), {fileName, number, why}));

            continue;
        }
        *target = *address;
    }
    return load;
}

std::string serverSettingsPath() {
    const std::string appData = specialFolder(kFolderAppData);
    if (appData.empty()) return {};
    return joinPath(joinPath(appData, kSettingsFolderName), kServerSettingsFileName);
}

ServerSettingsLoad loadServerSettings(const std::string& given) {
    const std::string path = given.empty() ? serverSettingsPath() : given;
    if (path.empty() || !fileCanBeOpened(path)) return {};
    std::string text(kSettingsFileLimit, '\0');
    const int64_t got = readExact(path, text.data(), text.size());
    if (got < 0) return {};
    text.resize(static_cast<size_t>(got));
    return parseServerSettings(text, fileNamePart(path));
}

}  // namespace tunecase
