// Reading our QR pictures back with an outside decoder (zbarimg, from zbar-tools).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tunecase::testing {

inline bool haveZbarimg() {
    std::string out;
    return runCommand("command -v zbarimg", out) == 0;
}

// The bytes zbarimg reads from the one QR code in `picture`, exactly as encoded; empty
// when it finds none.
inline std::string zbarBytes(const std::string& picture) {
    std::string out;
    if (runCommand("zbarimg --nodbus --quiet --raw -Sbinary '" + picture + "' 2>/dev/null", out) != 0) return {};
    return out;
}

// The texts zbarimg reads from each picture, by path, in one run; pictures it cannot read
// are missing. For texts of printable ASCII.
inline std::map<std::string, std::string> zbarTexts(const std::vector<std::string>& pictures) {
    std::string command = "zbarimg --nodbus --quiet --xml";
    for (const std::string& p : pictures) command += " '" + p + "'";
    std::string xml;
    runCommand(command + " 2>/dev/null", xml);
    std::map<std::string, std::string> found;
    const std::string source = "<source href='", open = "<![CDATA[", close = "]]>";
    for (size_t at = xml.find(source); at != std::string::npos; at = xml.find(source, at + 1)) {
        const size_t nameStart = at + source.size();
        const size_t nameEnd = xml.find('\'', nameStart);
        const size_t next = xml.find(source, nameStart);
        const size_t data = xml.find(open, nameEnd);
        if (nameEnd == std::string::npos || data == std::string::npos || (next != std::string::npos && data > next))
            continue;
        const size_t end = xml.find(close, data);
        found[xml.substr(nameStart, nameEnd - nameStart)] = xml.substr(data + open.size(), end - data - open.size());
    }
    return found;
}

}  // namespace tunecase::testing
