#include "app/cli/cli_dialogs.hpp"

#include "app/cli/output.hpp"
#include "app/cli/progress.hpp"

namespace rz {

Text CliDialogs::ChooseOpenFile(const Text&, const Text&, const Text&, int32_t) {
    return path_;
}

int32_t CliDialogs::ShowMessage(const Text&, const Text& text, uint32_t) {
    last_ = TextToUtf8(text);
    ClearProgressLine();
    Print(Channel::Err, about_ + last_ + "\n");
    return 1;
}

} // namespace rz
