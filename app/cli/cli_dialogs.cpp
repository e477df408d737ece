#include "app/cli/cli_dialogs.hpp"

#include "app/cli/output.hpp"

namespace rz {

Text CliDialogs::ChooseOpenFile(const Text&, const Text&, const Text&, int32_t) {
    return path_;
}

int32_t CliDialogs::ShowMessage(const Text&, const Text& text, uint32_t) {
    Print(Channel::Err, TextToUtf8(text) + "\n");
    return 1;
}

} // namespace rz
