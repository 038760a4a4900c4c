#pragma once
// The send bar: one line under the screen with a text field, a "Hex" check, a line-ending
// choice and a Send button. Enter in the field sends, Up and Down recall the lines sent
// before, Escape hands the keyboard back (to whatever the owner's callback says). The bar
// knows nothing of the port: what it sends leaves through its sendRequested signal.
//
// A send reads the field (as hex bytes when "Hex" is checked, else as text in the program's
// code page), adds the line ending and emits the bytes; the line goes to the end of the
// history (an equal older entry leaves it, at most kHistoryLength are kept) and the field
// empties. A hex field that cannot be read is marked, the fault is named beside it with its
// column, the cursor goes there, and nothing is emitted or remembered.

#include "transfer/sendtext.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CSendBar : public QWidget {
    Q_OBJECT
public:
    static constexpr std::size_t kHistoryLength = 100;

    explicit CSendBar(QWidget* parent = nullptr);

    // Lines sent, oldest first. Setting keeps the newest kHistoryLength, without repeats.
    const std::vector<std::string>& history() const { return m_history; }
    void setHistory(const std::vector<std::string>& lines);

    transfer::LineEnding lineEnding() const;
    void setLineEnding(transfer::LineEnding ending);
    bool isHex() const;
    void setHex(bool hex);

    // Called when Escape is pressed in the field.
    void setEscapeHandler(std::function<void()> handler) { m_onEscape = std::move(handler); }

    // Sends what the field holds, as the Send button does.
    void send();

    QLineEdit* field() const { return m_field; }
    QCheckBox* hexCheck() const { return m_hex; }
    QComboBox* endingChoice() const { return m_ending; }
    QPushButton* sendButton() const { return m_send; }
    QLabel* faultLabel() const { return m_fault; }

signals:
    void sendRequested(const std::string& bytes);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Remember(const std::string& line);
    void Recall(int step);
    void ShowFault(const transfer::ParseError* error);

    QLineEdit* m_field = nullptr;
    QCheckBox* m_hex = nullptr;
    QComboBox* m_ending = nullptr;
    QPushButton* m_send = nullptr;
    QLabel* m_fault = nullptr;
    std::vector<std::string> m_history;
    std::size_t m_recall = 0; // the history entry shown; m_history.size(): the draft
    QString m_draft;          // what was typed before Up began to recall
    std::function<void()> m_onEscape;
};
