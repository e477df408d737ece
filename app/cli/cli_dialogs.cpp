#include "app/cli/cli_dialogs.hpp"

#include <string>

namespace rz {

Text CliDialogs::ChooseOpenFile(const Text&, const Text&, const Text&, int32_t) {
    return path_;
}

int32_t CliDialogs::ShowMessage(const Text&, const Text& text, uint32_t) {
    const std::string line = TextToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), errors_);
    std::fflush(errors_);
    return 1;
}

} // namespace rz
