#pragma once
// The program's message box: caption "Wirelog" (the application title), owned by the main
// window, which is disabled while the box is shown. A box without an explicit icon gets the
// exclamation icon when it has OK or OK/Cancel buttons, and none for Abort/Retry/Ignore.
// Tests replace the presenter to answer boxes and to hear beeps.

#include <string>
#include <string_view>

class QWidget;

namespace fw {

enum class Buttons { Ok, OkCancel, AbortRetryIgnore, ReplaceAppendCancel };
enum class Icon { Default, None, Stop, Exclamation, Information };
enum class Answer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Replace = 6, Append = 7 };

struct MessageBoxRequest {
    std::string text;    // in the program's code page; "\n" breaks lines
    std::string caption; // the application title
    Buttons buttons;
    Icon icon; // resolved: never Default
};

class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    virtual Answer present(const MessageBoxRequest& request) = 0;
    virtual void beep(Icon icon) = 0;
};

// Installs `presenter` (not owned) for every later box; nullptr restores the real one.
void SetMessageBoxPresenter(MessageBoxPresenter* presenter);

Icon ResolveIcon(Buttons buttons, Icon icon);

Answer MessageBox(std::string_view text, Buttons buttons = Buttons::Ok, Icon icon = Icon::Default);
Answer MessageBox(unsigned stringId, Buttons buttons = Buttons::Ok, Icon icon = Icon::Default);

// The warning sound that goes with a box of that icon.
void MessageBeep(Icon icon);

} // namespace fw
