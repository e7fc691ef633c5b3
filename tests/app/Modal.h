// What the window tests share, above all the one way they answer modal
// windows: a queue of steps, each handed the modal window that is up when its
// turn comes, as a user would meet it. Whatever a step does, no window is
// left to hang a test in exec().
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <vector>

#include "TestFiles.h"
#include "untMain.h"
#include "untStartup.h"

// Failure messages show the text, not its UTF-16 units.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace vapp {

using Step = std::function<void(QWidget*)>;

// Runs call, which shows modal windows, and feeds them the steps in order.
// The next turn is scheduled before a step runs, so a step that opens a
// further modal window does not hold up the next. A window no step is left
// for fails the test and is closed. True when every step ran.
inline bool Drive(const std::vector<Step>& steps, const std::function<void()>& call) {
    std::deque<Step> queue(steps.begin(), steps.end());
    QObject context;
    std::function<void()> turn = [&] {
        QTimer::singleShot(5, &context, turn);
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected window " << modal->windowTitle().toStdString();
            modal->close();
            return;
        }
        const Step step = std::move(queue.front());
        queue.pop_front();
        step(modal);
    };
    QTimer::singleShot(5, &context, turn);
    call();
    return queue.empty();
}

// A step for a window of class T; any other window fails the test and is closed.
template <class T, class F>
Step On(F act) {
    return [act](QWidget* w) {
        if (auto* t = qobject_cast<T*>(w)) return act(*t);
        ADD_FAILURE() << "expected another window than " << w->windowTitle().toStdString();
        w->close();
    };
}

template <class T>
Step Click(QPushButton* T::*button) {
    return On<T>([=](T& w) { (w.*button)->click(); });
}

// Chooses names in folder in a file dialog, as typed into its name field; no names cancel.
inline Step Choose(const std::string& folder, const QStringList& names) {
    return On<QFileDialog>([dir = QString::fromStdString(folder), names](QFileDialog& d) {
        if (!names.isEmpty()) {
            // selectFile, not only the name field: a file the dialog still
            // has selected from its last use would win over the typed name.
            d.setDirectory(dir);
            d.selectFile(dir + "/" + names.front());
            d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(names.size() == 1 ? names.front() : '"' + names.join("\" \"") + '"');
            static_cast<QDialog&>(d).accept();  // the file dialog's own checks run
        }
        if (d.isVisible()) d.reject();
    });
}

}  // namespace vapp
