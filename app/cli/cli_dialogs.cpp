#include "app/cli/cli_dialogs.hpp"

#include "app/cli/output.hpp"

namespace rz {

Text CliDialogs::ChooseOpenFile(const Text&, const Text&, const Text&, int32_t) {
    return path_;
}

int32_t CliDialogs::ShowMessage(const Text&, const Text& text, uint32_t) {
    // The window's box names no file; on the command line, where the file was typed or
    // a wildcard matched nothing, the message says which.
    const bool missing = text == u"Datei ist nicht vorhanden";
    Print(Channel::Err, TextToUtf8(missing ? text + u": " + path_ : text) + "\n");
    return 1;
}

} // namespace rz
