#include "transfer/openfailure.h"

#include "framework/errors.h"
#include "framework/stringtable.h"
#include "res/resource.h"

namespace transfer {

std::string OpenFailureText(const fw::FileError& error) {
    return fw::LoadString(IDS_FAILED_TO_OPEN_FILE) + "\n" + error.message();
}

void ShowOpenFailure(const fw::FileError& error, fw::Icon icon) {
    fw::MessageBox(OpenFailureText(error), fw::Buttons::Ok, icon);
}

} // namespace transfer
