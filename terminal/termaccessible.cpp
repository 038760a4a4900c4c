#include "terminal/termaccessible.h"

#include "terminal/termedit.h"

#include <QAccessibleWidget>

namespace {

class TermAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TermAccessible(CTermEdit* screen)
        : QAccessibleWidget(screen, QAccessible::EditableText) {}

    CTermEdit* screen() const { return static_cast<CTermEdit*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.multiLine = true;
        s.editable = true;
        s.selectableText = true;
        return s;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return screen()->readerText();
        return QAccessibleWidget::text(t);
    }

    // --- QAccessibleTextInterface ---
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        const terminal::TextModel& m = screen()->model();
        if (index != 0 || m.selectionEnd() == m.selectionStart()) return;
        *start = screen()->readerOffset(m.selectionStart());
        *end = screen()->readerOffset(m.selectionEnd());
    }
    int selectionCount() const override {
        const terminal::TextModel& m = screen()->model();
        return m.selectionEnd() > m.selectionStart() ? 1 : 0;
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override {
        const std::size_t caret = screen()->model().selectionEnd();
        screen()->setSel(caret, caret);
    }
    void setSelection(int, int start, int end) override {
        screen()->setSel(screen()->modelPosition(start), screen()->modelPosition(end));
    }
    int cursorPosition() const override {
        return screen()->readerOffset(screen()->model().selectionEnd());
    }
    void setCursorPosition(int position) override {
        const std::size_t at = screen()->modelPosition(position);
        screen()->setSel(at, at);
    }
    QString text(int start, int end) const override {
        const QString all = screen()->readerText();
        start = std::clamp(start, 0, static_cast<int>(all.size()));
        end = end < 0 ? static_cast<int>(all.size())
                      : std::clamp(end, start, static_cast<int>(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(screen()->readerText().size()); }
    QRect characterRect(int offset) const override {
        const QRect r = screen()->caretRect(screen()->modelPosition(offset));
        if (!r.isValid()) return {};
        const QPoint topLeft = screen()->viewport()->mapToGlobal(r.topLeft());
        return QRect(topLeft, QSize(screen()->fontMetrics().averageCharWidth(), r.height()));
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = screen()->viewport()->mapFromGlobal(point);
        return screen()->readerOffset(screen()->positionAt(local));
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("CTermEdit") && object && object->isWidgetType())
        return new TermAccessible(static_cast<CTermEdit*>(object));
    return nullptr;
}

} // namespace

void InstallTermAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}
