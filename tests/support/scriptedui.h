#pragma once
// Message boxes, beeps and file dialogs answered by a script instead of a person.

#include "framework/filedialog.h"
#include "framework/msgbox.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

class ScriptedMessageBoxes final : public fw::MessageBoxPresenter {
public:
    ScriptedMessageBoxes() { fw::SetMessageBoxPresenter(this); }
    ~ScriptedMessageBoxes() override { fw::SetMessageBoxPresenter(nullptr); }

    // Answers for the next boxes, in order; without one a box gets its first button's answer.
    void answer(fw::Answer a) { m_answers.push_back(a); }

    fw::Answer present(const fw::MessageBoxRequest& request) override {
        shown.push_back(request);
        if (onShow) onShow(request);
        if (!m_answers.empty()) {
            const fw::Answer a = m_answers.front();
            m_answers.pop_front();
            return a;
        }
        return request.buttons == fw::Buttons::AbortRetryIgnore ? fw::Answer::Abort
                                                                : fw::Answer::Ok;
    }
    void beep(fw::Icon icon) override { beeps.push_back(icon); }

    std::string lastText() const { return shown.empty() ? std::string() : shown.back().text; }

    std::vector<fw::MessageBoxRequest> shown;
    std::vector<fw::Icon> beeps;
    std::function<void(const fw::MessageBoxRequest&)> onShow;

private:
    std::deque<fw::Answer> m_answers;
};

class ScriptedFileDialogs final : public fw::FileDialogPresenter {
public:
    ScriptedFileDialogs() { fw::SetFileDialogPresenter(this); }
    ~ScriptedFileDialogs() override { fw::SetFileDialogPresenter(nullptr); }

    // The next dialog chooses `path`; none cancels it.
    void choose(std::optional<std::string> path) { m_choices.push_back(std::move(path)); }

    std::optional<std::string> present(const fw::FileDialogRequest& request) override {
        requests.push_back(request);
        if (m_choices.empty()) return std::nullopt;
        auto choice = m_choices.front();
        m_choices.pop_front();
        return choice;
    }

    std::vector<fw::FileDialogRequest> requests;

private:
    std::deque<std::optional<std::string>> m_choices;
};
