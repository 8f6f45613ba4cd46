#include "net/upload_form.h"

#include <cstring>

#include "base/utilities.h"

namespace tunecase {

std::string uploadFormBody(std::string_view extension, const uint8_t* bytes, size_t n) {
    std::string body = "name=";
    body += kUploadBaseName;
    body += '.';
    body += extension;
    body += "&data=";
    body += base64(bytes, n);
    return body;
}

std::string deleteFormBody(std::string_view key) { return "del=" + std::string(key); }

std::string uploadKeyFromAnswer(std::string_view answer) {
    answer = answer.substr(0, kUploadAnswerLimit);
    const size_t comma = answer.find(',');
    if (comma == std::string_view::npos) return {};
    std::string_view key = answer.substr(comma + 1);
    return std::string(key.substr(0, key.find('\0')));
}

std::vector<FormField> splitFormBody(std::string_view body) {
    std::vector<FormField> fields;
    while (!body.empty()) {
        const size_t amp = body.find('&');
        const std::string_view part = body.substr(0, amp);
        if (!part.empty()) {
            const size_t eq = part.find('=');
            fields.push_back({std::string(part.substr(0, eq)),
                              eq == std::string_view::npos ? std::string() : std::string(part.substr(eq + 1))});
        }
        if (amp == std::string_view::npos) break;
        body.remove_prefix(amp + 1);
    }
    return fields;
}

std::optional<std::string> formValue(const std::vector<FormField>& fields, std::string_view name) {
    for (const auto& f : fields)
        if (f.name == name) return f.value;
    return std::nullopt;
}

namespace {

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == ' ') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::optional<std::vector<uint8_t>> decodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<size_t>(k)];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++padding;
                continue;
            }
            if (padding > 0) return std::nullopt;  // a letter after "="
            v[k] = base64Value(c);
            if (v[k] < 0) return std::nullopt;
        }
        const uint32_t word = (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
        out.push_back(static_cast<uint8_t>(word >> 16));
        if (padding < 2) out.push_back(static_cast<uint8_t>(word >> 8));
        if (padding < 1) out.push_back(static_cast<uint8_t>(word));
    }
    return out;
}

bool isUploadKey(std::string_view key) {
    if (key.empty() || key.size() > 64) return false;
    for (char c : key)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

}  // namespace tunecase
