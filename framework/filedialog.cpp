#include "framework/filedialog.h"

#include "framework/application.h"
#include "framework/codepage.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

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

class QtFileDialog final : public FileDialogPresenter {
public:
    explicit QtFileDialog(QWidget* owner)
        : m_owner(owner) {}

    std::optional<std::string> present(const FileDialogRequest& r) override {
        QFileDialog dialog(m_owner);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setOption(QFileDialog::ReadOnly, false);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(FromAnsi(r.defaultExtension));
        QStringList filters;
        for (const FileFilter& f : r.filters)
            filters << QtFilter(f);
        dialog.setNameFilters(filters);
        for (;;) {
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return std::nullopt;
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

std::optional<std::string> GetOpenFileName(QWidget* owner, std::string_view defaultExtension,
                                           std::string_view filter, bool pathMustExist) {
    FileDialogRequest request{std::string(defaultExtension), ParseFilterString(filter),
                              pathMustExist};
    if (g_presenter) return g_presenter->present(request);
    QtFileDialog real(owner ? owner : MainWindow());
    return real.present(request);
}

} // namespace fw
