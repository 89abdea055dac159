#pragma once
// Acts on the next modal window that a call opens: the action runs from the event loop of that
// window once it is the active modal widget. Bounded: gives up after about five seconds.

#include <QApplication>
#include <QTimer>
#include <functional>

inline void WhenModalOpens(std::function<void(QWidget*)> action, QWidget* except = nullptr) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action, except] {
        QWidget* modal = QApplication::activeModalWidget();
        if ((modal && modal != except && modal->isVisible()) || ++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            if (modal && modal != except) action(modal);
        }
    });
    timer->start();
}
