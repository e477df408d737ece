// The dialogs of the command-line program: the file comes from the command line,
// messages go to standard error.
#pragma once

#include "core/dialogs.hpp"

namespace rz {

class CliDialogs final : public Dialogs {
public:
    explicit CliDialogs(Text path) : path_(std::move(path)) {}

    Text ChooseOpenFile(const Text& title, const Text& defaultFile, const Text& filter,
                        int32_t filterPosition) override;
    int32_t ShowMessage(const Text& title, const Text& text, uint32_t flags) override;

private:
    Text path_;
};

} // namespace rz
