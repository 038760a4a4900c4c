#pragma once
// Answers modal windows in tests, so that none can hang a test: a retrying timer waits for
// the dialog to become the active modal widget, then runs the test's action on it. Should the
// action leave it open (an assertion failed inside, say), the driver closes it after a bound.

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class ModalDriver {
public:
    // Runs `action` on the next modal widget of type T. Returns a flag that tells, once the
    // modal call has returned, whether the action ran.
    template <class T>
    static std::shared_ptr<bool> whenShown(std::function<void(T*)> action, int timeoutMs = 5000) {
        auto ran = std::make_shared<bool>(false);
        auto* timer = new QTimer(qApp); // goes with the application should no dialog come
        timer->setInterval(5);
        auto elapsed = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, [timer, action, ran, elapsed, timeoutMs] {
            *elapsed += 5;
            if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
                widget && widget->isVisible()) {
                timer->stop();
                timer->deleteLater();
                QPointer<QWidget> guard(widget);
                *ran = true;
                action(widget);
                if (guard && guard->isVisible()) CloseLater(guard, 200);
                return;
            }
            if (*elapsed >= timeoutMs) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start();
        return ran;
    }

private:
    static void CloseLater(QPointer<QWidget> widget, int ms) {
        QTimer::singleShot(ms, [widget] {
            if (!widget || !widget->isVisible()) return;
            if (auto* dialog = qobject_cast<QDialog*>(widget.data()))
                dialog->done(QDialog::Rejected);
            else
                widget->close();
        });
    }
};
