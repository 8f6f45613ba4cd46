// The upload server's form: the bodies the client posts, the answer it reads back, and the
// server's side of both. Nothing here touches the network.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

inline constexpr const char* kUploadPath = "/work/get_file.php";
inline constexpr const char* kUploadContentType = "application/x-www-form-urlencoded";
// The name every upload goes under, before its extension.
inline constexpr const char* kUploadBaseName = "Chimeline";
// The most of an upload answer that is read.
inline constexpr size_t kUploadAnswerLimit = 65535;

// "name=Chimeline.EXT&data=" followed by the bytes in base64, appended as they are (no URL
// encoding: the servers read it that way).
std::string uploadFormBody(std::string_view extension, const uint8_t* bytes, size_t n);

// "del=KEY".
std::string deleteFormBody(std::string_view key);

// The key in an upload answer "NUMBER,KEY": the text after the first comma up to the end or
// a zero byte, within the first kUploadAnswerLimit bytes. No comma gives "".
std::string uploadKeyFromAnswer(std::string_view answer);

// ---- The server's side -------------------------------------------------------------------

// One field of a posted form: the name and the value as sent.
struct FormField final {
    std::string name;
    std::string value;
};

// Splits a form body at "&" and each field at its first "=". Values are left as sent; the
// caller decodes what it needs (the upload's base64 arrives unencoded).
std::vector<FormField> splitFormBody(std::string_view body);

// The value of the first field called `name`.
std::optional<std::string> formValue(const std::vector<FormField>& fields, std::string_view name);

// Strict base64 (RFC 4648 alphabet, "=" padding required to a multiple of 4, nothing after
// the padding). A space stands for "+" (what a form decoder leaves of an unencoded "+").
// Nothing for anything else.
std::optional<std::vector<uint8_t>> decodeBase64(std::string_view text);

// An upload key: URL-safe letters and digits, 1 to 64 of them.
bool isUploadKey(std::string_view key);

}  // namespace tunecase
