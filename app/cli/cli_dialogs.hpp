// The dialogs of the command-line program: the file comes from the command line,
// messages go to standard error.
#pragma once

#include "core/dialogs.hpp"

#include <string>

namespace rz {

class CliDialogs final : public Dialogs {
public:
    // `about` comes before every message: the file's path when several are handled.
    explicit CliDialogs(Text path, std::string about = {})
        : path_(std::move(path)), about_(std::move(about)) {}

    Text ChooseOpenFile(const Text& title, const Text& defaultFile, const Text& filter,
                        int32_t filterPosition) override;
    int32_t ShowMessage(const Text& title, const Text& text, uint32_t flags) override;

    // The last message shown, without `about`; empty when none was.
    const std::string& LastMessage() const { return last_; }

private:
    Text path_;
    std::string about_;
    std::string last_;
};

} // namespace rz
