#pragma once

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace GuiTestUtil {

// Finds a child by object name and fails the test when it is not there.
template <typename T>
T *child(QObject *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

// Triggers an action by name after checking that it is enabled.
inline bool trigger(QObject *root, const char *name)
{
    QAction *action = child<QAction>(root, name);
    if (!action || !action->isEnabled())
        return false;
    action->trigger();
    return true;
}

// Runs `handler` on the next modal widget once it is shown (for windows opened with exec()).
inline void onNextModal(std::function<void(QWidget *)> handler, int timeoutMs = 5000)
{
    auto *timer = new QTimer;
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, handler, elapsed, timeoutMs]() {
        *elapsed += 10;
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            handler(modal);
        } else if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace GuiTestUtil
