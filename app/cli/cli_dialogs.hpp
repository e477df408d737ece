// The dialogs of the command-line program: the file comes from the command line,
// messages go to standard error.
#pragma once

#include "core/dialogs.hpp"

#include <cstdio>

namespace rz {

class CliDialogs final : public Dialogs {
public:
    CliDialogs(Text path, std::FILE* errors) : path_(std::move(path)), errors_(errors) {}

    Text ChooseOpenFile(const Text& title, const Text& defaultFile, const Text& filter,
                        int32_t filterPosition) override;
    int32_t ShowMessage(const Text& title, const Text& text, uint32_t flags) override;

private:
    Text path_;
    std::FILE* errors_;
};

} // namespace rz
