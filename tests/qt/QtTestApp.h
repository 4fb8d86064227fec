// Helpers for widget tests: one QApplication per test process, and answering a modal
// dialog or message box from a timer while the code under test runs it.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>

namespace qttest {

// Creates the process's QApplication on first use (offscreen platform unless set).
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "zel-tests";
    static char* argv[] = {name, nullptr};
    // Destroyed when the test run ends, not in the exit handlers: there it would outlive
    // Qt's own statics (the input devices that key events create) and crash.
    struct AppEnvironment : ::testing::Environment {
        std::unique_ptr<QApplication> app;
        void TearDown() override { app.reset(); }
    };
    static AppEnvironment* environment = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* env = new AppEnvironment;
        env->app = std::make_unique<QApplication>(argc, argv);
        ::testing::AddGlobalTestEnvironment(env);  // gtest owns it from here
        return env;
    }();
    return *environment->app;
}

// Runs `answer` on the next modal widget that appears (polling every 10 ms for up to
// 5 s), so a test can fill in and close a dialog that the code under test runs modally.
inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, answer] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// Closes the next message box with OK and hands its text to `seen`.
inline void AcceptNextMessageBox(
    std::function<void(const QString& title, const QString& text)> seen) {
    AnswerNextModal([seen](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            if (seen) seen(box->windowTitle(), box->text());
            box->accept();
        } else if (auto* dlg = qobject_cast<QDialog*>(w)) {
            dlg->reject();
        }
    });
}

}  // namespace qttest
