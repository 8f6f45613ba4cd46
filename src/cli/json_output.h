// JSON output of the commands: one object on one line.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "base/text_codec.h"

namespace tunecase::cli {

// `value` as one line of JSON. Bytes that are not UTF-8 become U+FFFD; the library escapes
// C0 controls itself, but leaves DEL and C1 controls raw, so those are escaped here.
inline std::string jsonLine(const nlohmann::ordered_json& value) {
    return escapeControls(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), ControlEscape::Json);
}

}  // namespace tunecase::cli
