#include "app/identity.h"

#include "framework/codepage.h"
#include "res/resource.h"
#include "res/vocabulary.h"

#include <QDialog>
#include <QIcon>
#include <QLabel>

namespace app {
namespace {

constexpr unsigned char kKey = 0x5A;

// "(c) 2026 Wirelog team" and "Written by K-W Labs", each byte XOR 0x5A with its position.
constexpr unsigned char kNotice[] = {0x72, 0x38, 0x71, 0x79, 0x6C, 0x6F, 0x6E,
                                     0x6B, 0x72, 0x04, 0x39, 0x23, 0x33, 0x3B,
                                     0x3B, 0x32, 0x6A, 0x3F, 0x2D, 0x28, 0x23};
constexpr unsigned char kCredits[] = {0x0D, 0x29, 0x31, 0x2D, 0x2A, 0x3A, 0x32, 0x7D, 0x30, 0x2A,
                                      0x70, 0x1A, 0x7B, 0x00, 0x74, 0x19, 0x2B, 0x29, 0x3B};

template <std::size_t N> std::string Unscramble(const unsigned char (&bytes)[N]) {
    return Scramble(std::string(reinterpret_cast<const char*>(bytes), N));
}

} // namespace

std::string Scramble(std::string text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>(static_cast<unsigned char>(text[i]) ^ kKey ^
                                    static_cast<unsigned char>(i));
    return text;
}

std::string StoredNotice() {
    return std::string(reinterpret_cast<const char*>(kNotice), sizeof kNotice);
}
std::string StoredCredits() {
    return std::string(reinterpret_cast<const char*>(kCredits), sizeof kCredits);
}

std::string Notice() {
    return Unscramble(kNotice);
}
std::string Credits() {
    return Unscramble(kCredits);
}
const char* OriginLine() {
    return "Made on Linux for engineers at the bench.";
}

} // namespace app

void ShowIdentity(QDialog& dialog, const std::string& notice, const std::string& credits) {
    if (auto* icon = dialog.findChild<QLabel*>(QStringLiteral("labelIcon"))) {
        const QRect area = icon->geometry();
        icon->setPixmap(QIcon(QString::fromLatin1(res::kProgramIcon))
                            .pixmap(area.size().boundedTo(QSize(32, 32))));
    }
    if (auto* origin = dialog.findChild<QLabel*>(QStringLiteral("labelOrigin")))
        origin->setText(QString::fromLatin1(app::OriginLine()));
    if (auto* label = dialog.findChild<QLabel*>(QStringLiteral("notice")))
        label->setText(fw::FromAnsi(notice));
    if (auto* label = dialog.findChild<QLabel*>(QStringLiteral("credits")))
        label->setText(fw::FromAnsi(credits));
}
