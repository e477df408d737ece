// The two modal dialogs: the Explorer-style open dialog (GetOpenFileNameW) and a
// message box (MessageBoxW).
#include "ui/win32/win32_private.hpp"

#include <algorithm>
#include <cstddef>

namespace rz::win32 {

namespace {

static_assert(OpenDialogOption::HideReadOnly == OFN_HIDEREADONLY &&
                  OpenDialogOption::NoChangeDir == OFN_NOCHANGEDIR &&
                  OpenDialogOption::PathMustExist == OFN_PATHMUSTEXIST &&
                  OpenDialogOption::Explorer == OFN_EXPLORER,
              "the open dialog's options pass through as they are");

// The structure without its Windows 2000 extension fields, as the dialog expects it
// from this program: 76 bytes in a 32-bit build, 136 in a 64-bit one. Any other size
// makes GetOpenFileNameW fail at once with CDERR_STRUCTSIZE.
constexpr DWORD OpenFileNameSize =
    static_cast<DWORD>(offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR));
static_assert(sizeof(void*) != 8 || OpenFileNameSize == 136, "OPENFILENAME_SIZE_VERSION_400W");
static_assert(sizeof(void*) != 4 || OpenFileNameSize == 76, "OPENFILENAME_SIZE_VERSION_400W");

// The filters as the dialog reads them: description and pattern, each closed by a NUL,
// and one more NUL after the last.
std::wstring FilterList(const std::vector<FileFilter>& filters) {
    std::wstring list;
    for (const FileFilter& filter : filters) {
        list += ToWide(filter.Description) + L'\0' + ToWide(filter.Pattern) + L'\0';
    }
    return list + L'\0';
}

// MAX_PATH units, zero-filled, the starting name in front: the dialog writes the chosen
// path into the same buffer, and a longer path is a failure of the dialog.
std::wstring PathBuffer(const std::wstring& start) {
    std::wstring buffer(MAX_PATH, L'\0');
    std::copy_n(start.begin(), std::min(start.size(), buffer.size() - 1), buffer.begin());
    return buffer;
}

// An empty folder is the one the program was started in: nothing before the dialog
// changes the current folder, and OFN_NOCHANGEDIR keeps the dialog from changing it.
std::wstring StartFolder(const Text& folder) {
    if (!folder.empty()) {
        return ToWide(folder);
    }
    std::wstring here(GetCurrentDirectoryW(0, nullptr), L'\0');
    here.resize(GetCurrentDirectoryW(static_cast<DWORD>(here.size()), here.data()));
    return here;
}

} // namespace

// Where the dialog opens. Windows 7 and later open it in the folder last chosen in this
// program whenever lpstrInitialDir equals the value given on the program's first run; an
// empty folder, the same every time, always does, and Enter would then open another
// project's board. A path in lpstrFile is the rule they weigh next, so the folder goes
// there in front of the name, and lpstrInitialDir stays null: there is nothing to compare.
// The name field still shows the name alone. Wine honours this form on every run; it also
// honours an initial folder of ours, which Windows would not on a later run in the first
// run's folder. Only a path too long for the buffer falls back to lpstrInitialDir.
Text Win32Platform::RunOpenDialog(const OpenDialogRequest& request) {
    const std::wstring title = ToWide(request.Title);
    const std::wstring filters = FilterList(request.Filters);
    const std::wstring name = ToWide(request.FileName);
    const std::wstring folder = request.HasInitialFolder ? StartFolder(request.InitialFolder) : L"";
    const std::wstring full = folder.empty() || name.empty() ? name
                              : folder.back() == L'\\'       ? folder + name
                                                             : folder + L'\\' + name;
    const bool folderInPath = full.size() > name.size() && full.size() < MAX_PATH;
    std::wstring path = PathBuffer(folderInPath ? full : name);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OpenFileNameSize;
    ofn.hwndOwner = Hwnd(request.Owner);
    ofn.lpstrFilter = request.Filters.empty() ? nullptr : filters.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(request.FilterIndex);
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrInitialDir = request.HasInitialFolder && !folderInPath ? folder.c_str() : nullptr;
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = request.Options;
    if (!GetOpenFileNameW(&ofn)) {
        return Text();
    }
    return FromWide(path.c_str());
}

int32_t Win32Platform::RunMessageBox(NativeHandle owner, const Text& title, const Text& text) {
    const std::wstring wideTitle = ToWide(title);
    const std::wstring wideText = ToWide(text);
    return MessageBoxW(Hwnd(owner), wideText.c_str(), wideTitle.c_str(), MB_OK);
}

} // namespace rz::win32
