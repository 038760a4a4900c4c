#pragma once
// Modal dialogs laid out in dialog units, with data exchange between controls and members.
//
// A dialog's form gives every control's geometry in dialog units; Layout() converts them
// with the base units of the dialog font (8 points): x and width by a quarter of the average
// character width, y and height by an eighth of the character height.

#include <QDialog>

#include <optional>
#include <span>
#include <string>

class QLabel;
class QLineEdit;
class QRadioButton;

namespace fw {

// Moves values between a dialog's controls and its members, in one direction per run.
class DataExchange {
public:
    explicit DataExchange(bool saveAndValidate)
        : m_save(saveAndValidate) {}
    bool saving() const { return m_save; }

    // A radio group as the zero-based position of its selected button: toward the controls
    // a position outside the group clears every button; from them -1 when none is selected.
    void Radio(std::span<QRadioButton* const> group, int& value);
    // A text field as plain text in the program's code page.
    void Text(QLineEdit* field, std::string& value);

private:
    bool m_save;
};

class Dialog : public QDialog {
    Q_OBJECT
public:
    // `sizeInDialogUnits` is the template's size; `position` its place in dialog units from
    // the top-left of the owner's client area, or none to centre it over the owner.
    Dialog(QWidget* owner, QSize sizeInDialogUnits, std::optional<QPoint> position = std::nullopt);

    // Shows the dialog modally; returns QDialog::Accepted (OK) or Rejected.
    int DoModal();

    // Runs the data exchange; false when it broke down (the controls and members are then
    // as far as it got).
    bool UpdateData(bool saveAndValidate = true);

    static QSize BaseUnits(const QFont& dialogFont);

protected:
    // Called once the controls exist and before the dialog shows: runs the exchange toward
    // the controls. Return false when the focus has been placed already.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx) { (void)dx; }
    // OK: the exchange from the controls, then the dialog ends with OK.
    virtual void OnOK();
    // Cancel, Escape and the close box: ends with Cancel, no exchange.
    virtual void OnCancel();

    // Converts the geometry of every child from dialog units; call after the form is set up.
    void Layout();

    void accept() override;
    void reject() override;
    void showEvent(QShowEvent* e) override;
    // The keys of every dialog: Enter presses the focused push button, or else the default
    // one, or else OK; Escape cancels; Tab enters a radio group at its checked button and
    // leaves it as a whole; the arrow keys move within a group and check what they reach.
    void keyPressEvent(QKeyEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Place();
    void PlaceFirstFocus();

    QSize m_sizeDu;
    std::optional<QPoint> m_positionDu;
    bool m_initialised = false;
};

} // namespace fw
