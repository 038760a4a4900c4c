#include "framework/filedialog.h"

#include "framework/application.h"
#include "framework/codepage.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

namespace fw {
namespace {

// Patterns as the desktop's dialog reads them: "*.*" means every file, with a dot or not.
QString QtPatterns(const std::string& pattern) {
    QStringList out;
    for (const QString& p : FromAnsi(pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = p.trimmed();
        out << (trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    return out.join(QLatin1Char(' '));
}

QString QtFilter(const FileFilter& f) {
    // Descriptions usually name their patterns already, "Dump Files (*.dmp)"; Qt reads the
    // patterns from the last brackets, so those are replaced rather than repeated.
    QString description = FromAnsi(f.description).trimmed();
    if (description.endsWith(u')')) {
        const auto open = description.lastIndexOf(u'(');
        if (open > 0) description = description.left(open).trimmed();
    }
    return QStringLiteral("%1 (%2)").arg(description, QtPatterns(f.pattern));
}

QFileDialog::FileMode FileMode(FileDialogRequest::Mode mode) {
    switch (mode) {
    case FileDialogRequest::Mode::ExistingFiles:
        return QFileDialog::ExistingFiles;
    case FileDialogRequest::Mode::Folder:
        return QFileDialog::Directory;
    default:
        return QFileDialog::AnyFile;
    }
}

// The chosen files' paths, one to a line.
std::string Joined(const QFileDialog& dialog) {
    std::string out;
    for (const QString& chosen : dialog.selectedFiles()) {
        if (!out.empty()) out += '\n';
        out += QFile::encodeName(QFileInfo(chosen).absoluteFilePath()).toStdString();
    }
    return out;
}

class QtFileDialog final : public FileDialogPresenter {
public:
    explicit QtFileDialog(QWidget* owner)
        : m_owner(owner) {}

    std::optional<std::string> present(const FileDialogRequest& r) override {
        QFileDialog dialog(m_owner);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::ReadOnly, false);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(FileMode(r.mode));
        if (!r.title.empty()) dialog.setWindowTitle(FromAnsi(r.title));
        if (r.mode == FileDialogRequest::Mode::Folder) {
            dialog.setOption(QFileDialog::ShowDirsOnly);
        } else {
            dialog.setDefaultSuffix(FromAnsi(r.defaultExtension));
        }
        if (!r.start.empty()) dialog.setDirectory(FromAnsi(r.start));
        QStringList filters;
        for (const FileFilter& f : r.filters)
            filters << QtFilter(f);
        dialog.setNameFilters(filters);
        for (;;) {
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return std::nullopt;
            if (r.mode == FileDialogRequest::Mode::ExistingFiles) return Joined(dialog);
            const QString chosen = dialog.selectedFiles().constFirst();
            if (!r.pathMustExist || QFileInfo(chosen).absoluteDir().exists())
                return QFile::encodeName(QFileInfo(chosen).absoluteFilePath()).toStdString();
        }
    }

private:
    QWidget* m_owner;
};

FileDialogPresenter* g_presenter = nullptr;

} // namespace

std::vector<FileFilter> ParseFilterString(std::string_view filter) {
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t bar = filter.find('|', begin);
        pieces.emplace_back(
            filter.substr(begin, bar == std::string_view::npos ? bar : bar - begin));
        if (bar == std::string_view::npos) break;
        begin = bar + 1;
    }
    std::vector<FileFilter> filters;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        if (pieces[i].empty()) break;
        filters.push_back({pieces[i], pieces[i + 1]});
    }
    return filters;
}

void SetFileDialogPresenter(FileDialogPresenter* presenter) {
    g_presenter = presenter;
}

namespace {

std::optional<std::string> Present(QWidget* owner, const FileDialogRequest& request) {
    if (g_presenter) return g_presenter->present(request);
    QtFileDialog real(owner ? owner : MainWindow());
    return real.present(request);
}

} // namespace

std::optional<std::string> GetOpenFileName(QWidget* owner, std::string_view defaultExtension,
                                           std::string_view filter, bool pathMustExist) {
    FileDialogRequest request;
    request.defaultExtension = defaultExtension;
    request.filters = ParseFilterString(filter);
    request.pathMustExist = pathMustExist;
    return Present(owner, request);
}


std::vector<std::string> GetOpenFileNames(QWidget* owner, std::string_view title) {
    FileDialogRequest request;
    request.filters = ParseFilterString("All Files (*.*)|*.*||");
    request.pathMustExist = true;
    request.mode = FileDialogRequest::Mode::ExistingFiles;
    request.title = title;
    std::vector<std::string> paths;
    const auto chosen = Present(owner, request);
    if (!chosen) return paths;
    std::size_t begin = 0;
    while (begin <= chosen->size()) {
        const std::size_t end = std::min(chosen->find('\n', begin), chosen->size());
        if (end > begin) paths.push_back(chosen->substr(begin, end - begin));
        begin = end + 1;
    }
    return paths;
}

std::optional<std::string> GetFolderName(QWidget* owner, std::string_view title,
                                         std::string_view start) {
    FileDialogRequest request;
    request.pathMustExist = true;
    request.mode = FileDialogRequest::Mode::Folder;
    request.title = title;
    request.start = start;
    return Present(owner, request);
}

} // namespace fw
