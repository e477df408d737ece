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
std::wstring PathBuffer(const Text& fileName) {
    std::wstring buffer(MAX_PATH, L'\0');
    const size_t count = std::min(fileName.size(), buffer.size() - 1);
    std::copy_n(fileName.begin(), count, buffer.begin());
    return buffer;
}

} // namespace

Text Win32Platform::RunOpenDialog(const OpenDialogRequest& request) {
    const std::wstring title = ToWide(request.Title);
    const std::wstring filters = FilterList(request.Filters);
    const std::wstring folder = ToWide(request.InitialFolder);
    std::wstring path = PathBuffer(request.FileName);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OpenFileNameSize;
    ofn.hwndOwner = Hwnd(request.Owner);
    ofn.lpstrFilter = request.Filters.empty() ? nullptr : filters.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(request.FilterIndex);
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrInitialDir = request.HasInitialFolder ? folder.c_str() : nullptr;
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
