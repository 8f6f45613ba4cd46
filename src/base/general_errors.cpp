#include "base/general_errors.h"

namespace tunecase {

const MessageTable kGeneralErrors{
    "GENE",
    {
        {gene::NeedsMoreMemory, "Needs more memory!"},
        {gene::QuitAndRestart, "Quit and restart!"},
        {gene::CantFindFile, "Cant find file!"},
        {gene::SixteenDigitError, "16 digit error"},
        {gene::CantOpenFile, "Cant open file!"},
        {gene::DataSizeTooLarge, "data size is too large!"},
        {gene::ParameterWrong, "parameter is wrong"},
        {gene::NoCurrentDirectory, "Can not get current directory"},
        {gene::FileSizeError, "file size error!(2)"},
        {gene::TimeSignInvalid, "Time sign is invalid!"},
    },
    "General Error",
};

void generalError(uint32_t code, std::string_view path) { reportCoded(kGeneralErrors, code, path); }

}  // namespace tunecase
