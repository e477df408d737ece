#include "app/cli/cli_dialogs.hpp"

#include "app/cli/output.hpp"
#include "app/cli/progress.hpp"

namespace rz {

Text CliDialogs::ChooseOpenFile(const Text&, const Text&, const Text&, int32_t) {
    return path_;
}

int32_t CliDialogs::ShowMessage(const Text&, const Text& text, uint32_t) {
    last_ = TextToUtf8(text);
    // The window's box names no file. On the command line, where the file was typed or a
    // wildcard matched nothing, the message says which, unless the path already heads it.
    const bool missing = text == u"Datei ist nicht vorhanden";
    ClearProgressLine();
    Print(Channel::Err,
          about_ + last_ + (missing && about_.empty() ? ": " + TextToUtf8(path_) : "") + "\n");
    return 1;
}

} // namespace rz
