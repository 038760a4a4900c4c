#pragma once
// The file-open dialog. The filter string is given as the program keeps it: descriptions and
// patterns alternating between bars, "Dump Files (*.dmp) | *.dmp | All Files (*.*) | *.* ||".
// Tests replace the presenter to choose a file (or cancel) and to see what was asked.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace fw {

struct FileFilter {
    std::string description; // as the string holds it, blanks included
    std::string pattern;
};

// The pairs of a filter string; the empty piece at the end closes the list.
std::vector<FileFilter> ParseFilterString(std::string_view filter);

struct FileDialogRequest {
    std::string defaultExtension; // appended to a name typed without one
    std::vector<FileFilter> filters;
    bool pathMustExist = false; // the folder must exist; the file itself need not
    // What is chosen: one name (new or existing), existing files, or a folder. A scripted
    // answer for several files gives their paths one to a line.
    enum class Mode { AnyFile, ExistingFiles, Folder } mode = Mode::AnyFile;
    std::string title; // empty: the dialog's own
    std::string start; // the folder it opens in; empty: the dialog's own
};

class FileDialogPresenter {
public:
    virtual ~FileDialogPresenter() = default;
    // The chosen path in the file system's own bytes, or none when cancelled.
    virtual std::optional<std::string> present(const FileDialogRequest& request) = 0;
};

void SetFileDialogPresenter(FileDialogPresenter* presenter); // nullptr: the real dialog

// Shows an open-style dialog owned by `owner`: any name, new or existing, is accepted.
std::optional<std::string> GetOpenFileName(QWidget* owner, std::string_view defaultExtension,
                                           std::string_view filter, bool pathMustExist = false);

// Existing files, one or more (empty when cancelled); a folder (none when cancelled), the
// dialog opening at `start`. `title` says what the choice is for.
std::vector<std::string> GetOpenFileNames(QWidget* owner, std::string_view title);
std::optional<std::string> GetFolderName(QWidget* owner, std::string_view title,
                                         std::string_view start);

} // namespace fw
