#include "base/general_errors.h"
#include "base/translation.h"

namespace tunecase {

const MessageTable kGeneralErrors{
    "GENE",
    {
        {gene::NeedsMoreMemory, N_("Needs more memory!")},
        {gene::QuitAndRestart, N_("Quit and restart!")},
        {gene::CantFindFile, N_("Cant find file!")},
        {gene::SixteenDigitError, N_("16 digit error")},
        {gene::CantOpenFile, N_("Cant open file!")},
        {gene::DataSizeTooLarge, N_("data size is too large!")},
        {gene::ParameterWrong, N_("parameter is wrong")},
        {gene::NoCurrentDirectory, N_("Can not get current directory")},
        {gene::FileSizeError, N_("file size error!(2)")},
        {gene::TimeSignInvalid, N_("Time sign is invalid!")},
    },
    N_("General Error"),
};

void generalError(uint32_t code, std::string_view path) { reportCoded(kGeneralErrors, code, path); }

}  // namespace tunecase
