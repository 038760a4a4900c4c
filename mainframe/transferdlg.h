#pragma once
// The progress of a file transfer in a small window of its own beside the frame: the file's
// name, a bar, the bytes through and in all, the rate and a Cancel button that says so
// through cancelRequested. It does not block the frame: the transfer runs in the event loop.

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

class CTransferDlg : public QDialog {
    Q_OBJECT
public:
    // `title` names the transfer ("Sending with YMODEM").
    CTransferDlg(QWidget* parent, const QString& title);

    // Shows where the current file stands; no total: the bar moves without an end.
    void setProgress(const std::string& name, std::uint64_t done,
                     std::optional<std::uint64_t> total, const std::string& rate);
    // Cancel has been pressed: the button stays off while the transfer ends.
    void setCancelling();

    QPushButton* cancelButton() const { return m_cancel; }
    QString bytesText() const;

signals:
    void cancelRequested();

protected:
    void reject() override; // Escape and the window's close button cancel

private:
    QLabel* m_name = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_bytes = nullptr;
    QLabel* m_rate = nullptr;
    QPushButton* m_cancel = nullptr;
};
