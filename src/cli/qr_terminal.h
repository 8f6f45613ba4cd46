// A QR symbol drawn in the terminal, shared by the commands that show one.
#pragma once

#include <string>

#include "qr/qr_encoder.h"

namespace tunecase::cli {

// Two module rows per text line in half blocks, black on white whatever the terminal's
// colours, with four light modules around.
std::string terminalDrawing(const qr::Symbol& s);

}  // namespace tunecase::cli
