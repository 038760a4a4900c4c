#include "terminal/vtaccessible.h"

#include "terminal/vtview.h"

#include <QAccessibleWidget>

#include <algorithm>

namespace terminal {

namespace {

class VtAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit VtAccessible(VtView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

    VtView* view() const { return static_cast<VtView*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return view()->readerText();
        return QAccessibleWidget::text(t);
    }

    // The reader's offset of a line's column: lines before it and their breaks, then the
    // characters of the line up to the column.
    int offsetOf(std::size_t line, int col) const {
        const VtScreen& s = view()->screen();
        int offset = 0;
        for (std::size_t i = 0; i < line && i < s.lineCount(); ++i)
            offset += static_cast<int>(QString::fromStdString(s.lineText(i)).size()) + 1;
        const int length = line < s.lineCount()
                               ? static_cast<int>(QString::fromStdString(s.lineText(line)).size())
                               : 0;
        return offset + std::clamp(col, 0, length);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        const QString selected = view()->selectedText();
        if (index != 0 || selected.isEmpty()) return;
        const int at = view()->readerText().indexOf(selected);
        *start = std::max(at, 0);
        *end = *start + static_cast<int>(selected.size());
    }
    int selectionCount() const override { return view()->selectedText().isEmpty() ? 0 : 1; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override {
        const VtScreen& s = view()->screen();
        return offsetOf(s.scrollback().size() + static_cast<std::size_t>(s.cursorRow()), s.cursorCol());
    }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString all = view()->readerText();
        start = std::clamp(start, 0, static_cast<int>(all.size()));
        end = end < 0 ? static_cast<int>(all.size()) : std::clamp(end, start, static_cast<int>(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(view()->readerText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("terminal::VtView") && object && object->isWidgetType())
        return new VtAccessible(static_cast<VtView*>(object));
    return nullptr;
}

} // namespace

void InstallVtAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

} // namespace terminal
