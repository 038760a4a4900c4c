#include "framework/msgbox.h"

#include "framework/application.h"
#include "framework/codepage.h"
#include "framework/stringtable.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace fw {
namespace {

// The answer of a box of standard buttons that `exec` ended with `result`.
Answer answerOf(int result, Buttons buttons) {
    switch (result) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Abort:
        return Answer::Abort;
    case QMessageBox::Retry:
        return Answer::Retry;
    case QMessageBox::Ignore:
        return Answer::Ignore;
    case QMessageBox::Ok:
        return Answer::Ok;
    default:
        // Closed without a button: the box's escape answer.
        return buttons == Buttons::Ok         ? Answer::Ok
               : buttons == Buttons::OkCancel ? Answer::Cancel
                                              : Answer::Abort;
    }
}

// Replace, Append or Cancel: keeping what is there is the safe default; Escape cancels.
Answer askReplaceAppend(QMessageBox& box) {
    QPushButton* replace = box.addButton(QStringLiteral("&Replace"), QMessageBox::AcceptRole);
    QPushButton* append = box.addButton(QStringLiteral("&Append"), QMessageBox::AcceptRole);
    box.setDefaultButton(append);
    box.setEscapeButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    if (box.clickedButton() == replace) return Answer::Replace;
    if (box.clickedButton() == append) return Answer::Append;
    return Answer::Cancel;
}

class QtPresenter final : public MessageBoxPresenter {
public:
    Answer present(const MessageBoxRequest& r) override {
        QMessageBox box(MainWindow());
        box.setWindowTitle(FromAnsi(r.caption));
        box.setText(FromAnsi(r.text));
        box.setTextFormat(Qt::PlainText);
        box.setIcon(QtIcon(r.icon));
        box.setWindowModality(Qt::ApplicationModal);
        // A box of a disabled main window still takes its answer.
        box.setEnabled(true);
        if (r.buttons == Buttons::ReplaceAppendCancel) return askReplaceAppend(box);
        switch (r.buttons) {
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case Buttons::AbortRetryIgnore:
            box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
            box.setDefaultButton(QMessageBox::Abort);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        }
        return answerOf(box.exec(), r.buttons);
    }

    void beep(Icon) override { QApplication::beep(); }

private:
    static QMessageBox::Icon QtIcon(Icon icon) {
        switch (icon) {
        case Icon::Stop:
            return QMessageBox::Critical;
        case Icon::Exclamation:
            return QMessageBox::Warning;
        case Icon::Information:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
        }
    }
};

QtPresenter g_qtPresenter;
MessageBoxPresenter* g_presenter = nullptr;

MessageBoxPresenter& Presenter() {
    return g_presenter ? *g_presenter : g_qtPresenter;
}

} // namespace

void SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
    g_presenter = presenter;
}

Icon ResolveIcon(Buttons buttons, Icon icon) {
    if (icon != Icon::Default) return icon;
    return buttons == Buttons::AbortRetryIgnore ? Icon::None : Icon::Exclamation;
}

Answer MessageBox(std::string_view text, Buttons buttons, Icon icon) {
    MessageBoxRequest request{std::string(text), AppTitle(), buttons, ResolveIcon(buttons, icon)};
    return Presenter().present(request);
}

Answer MessageBox(unsigned stringId, Buttons buttons, Icon icon) {
    return MessageBox(LoadString(stringId), buttons, icon);
}

void MessageBeep(Icon icon) {
    Presenter().beep(icon);
}

} // namespace fw
