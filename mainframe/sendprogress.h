#pragma once
// The progress of a long send (a macro, a paced send, a long paste) in the status bar: a bar,
// "Sending: 1200 of 5000 bytes" and a Cancel button that says so through cancelRequested. It
// shows while a send is under way and hides when told that it ended.

#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;
class QToolButton;

class CSendProgress : public QWidget {
    Q_OBJECT
public:
    explicit CSendProgress(QWidget* parent = nullptr);

    // Shows `sent` of `total` bytes (the widget shows itself on the first call).
    void setProgress(std::int64_t sent, std::int64_t total);
    // The send has ended: hidden until the next one.
    void finish();

    QLabel* label() const { return m_label; }
    QToolButton* cancelButton() const { return m_cancel; }

signals:
    void cancelRequested();

private:
    QProgressBar* m_bar = nullptr;
    QLabel* m_label = nullptr;
    QToolButton* m_cancel = nullptr;
};
