#pragma once
// The program's identity as the About box and the splash screen show it. The two run-time
// labels are kept scrambled in the program and unscrambled when a dialog is made.

#include <string>

namespace app {

std::string Notice();  // 21 characters
std::string Credits(); // 19 characters
const char* OriginLine();

// The scrambling itself, its own inverse.
std::string Scramble(std::string text);

// The two texts as the program keeps them, scrambled.
std::string StoredNotice();
std::string StoredCredits();

} // namespace app

class QDialog;
class QLabel;

// Fills the picture that both dialogs share: icon, and the two run-time labels.
void ShowIdentity(QDialog& dialog, const std::string& notice, const std::string& credits);
