// The open dialog and the information message on top of the platform, with the modal
// guard around both.
#pragma once

#include "core/dialogs.hpp"
#include "ui/platform.hpp"

#include <vector>

namespace rz {

// The caller's filter text ("description|pattern|..."), cut at every "|" and taken in
// pairs, blanks kept; a description without a pattern is left out.
std::vector<FileFilter> FilterPairs(const Text& filter);

// What ends a folder in a path of the system the program runs on.
#ifdef _WIN32
inline constexpr char16_t FolderSeparator = u'\\';
#else
inline constexpr char16_t FolderSeparator = u'/';
#endif

// A default file split at its last separator into a folder and a name. A backslash that
// is the very first character does not split; a "/" there is the root folder.
struct DefaultFileParts {
    bool HasFolder = false;
    Text Folder;
    Text Name;
};
DefaultFileParts SplitDefaultFile(const Text& defaultFile, char16_t separator = FolderSeparator);

// Not empty, and no code unit below 0x20 and none of  " \ / : * ? < > |
bool IsPlainFileName(const Text& name);

// The owner for a modal dialog: the foreground window when it is one of ours.
NativeHandle ModalOwnerWindow();
// Disables the visible windows of the thread (but the foreground one) while a modal
// dialog runs, and takes them out of the topmost layer; ResumeOtherWindows undoes it.
void SuspendOtherWindows();
void ResumeOtherWindows();

class PlatformDialogs : public Dialogs {
public:
    Text ChooseOpenFile(const Text& title, const Text& defaultFile, const Text& filter,
                        int32_t filterPosition) override;
    // The box has one OK button and no icon whatever the flags say: the program asks
    // for nothing else (flags 0, MB_OK).
    int32_t ShowMessage(const Text& title, const Text& text, uint32_t flags) override;
};

} // namespace rz
