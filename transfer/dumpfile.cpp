#include "transfer/dumpfile.h"

#include "framework/file.h"
#include "framework/filedialog.h"
#include "framework/msgbox.h"
#include "framework/stringtable.h"
#include "res/resource.h"
#include "transfer/openfailure.h"

#include <QTimer>

#include <sys/stat.h>

namespace transfer {
namespace {

// A file whose content an open for writing would put at stake.
bool HoldsData(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

} // namespace

std::optional<DumpChoice> ChooseDumpFile(QWidget* parent) {
    return ChooseRecordingFile(parent, kDumpExtension, kDumpFilter);
}

std::optional<DumpChoice> ChooseRecordingFile(QWidget* parent, const char* extension,
                                              const char* filter) {
    const auto path = fw::GetOpenFileName(parent, extension, filter);
    if (!path) return std::nullopt;
    DumpChoice choice{*path, false};
    // The dialog asks nothing about an existing file; its content is never lost unasked.
    if (!HoldsData(*path)) return choice;
    switch (fw::MessageBox(fw::FormatString(IDS_DUMP_EXISTS, {*path}),
                           fw::Buttons::ReplaceAppendCancel)) {
    case fw::Answer::Replace:
        return choice;
    case fw::Answer::Append:
        choice.append = true;
        return choice;
    default:
        return std::nullopt;
    }
}

bool OpenDump(const Dump& dump, const std::string& path, bool append) {
    const unsigned mode =
        fw::File::Write | fw::File::Create | fw::File::Exclusive | (append ? fw::File::Append : 0u);
    dump.path = path;
    try {
        dump.file.open(dump.path, mode);
    } catch (const fw::FileError& e) {
        dump.path.clear();
        ShowOpenFailure(e);
        return false;
    }
    dump.changed();
    return true;
}

void CloseDump(const Dump& dump) {
    // Whatever the flush or the close report, the dump ends here, so that later pieces never
    // meet a dead file.
    const auto finish = [&dump] {
        dump.path.clear();
        dump.changed();
    };
    try {
        dump.file.flush();
        dump.file.close();
    } catch (...) {
        dump.file.abort();
        finish();
        throw;
    }
    finish();
}

void WriteDump(const Dump& dump, std::string_view piece) {
    if (piece.empty()) return;
    try {
        dump.file.write(piece.data(), piece.size());
    } catch (const fw::FileError& e) {
        dump.file.abort();
        dump.path.clear();
        dump.changed();
        // Told after the receive road has finished with this piece, so the screen keeps the
        // order of arrival even while the box is open.
        const std::string text = fw::FormatString(IDS_DUMP_STOPPED, {e.message()});
        QTimer::singleShot(0, dump.owner,
                           [text] { fw::MessageBox(text, fw::Buttons::Ok, fw::Icon::Stop); });
    }
}

} // namespace transfer
