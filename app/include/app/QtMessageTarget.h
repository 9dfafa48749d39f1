#pragma once
// PostMessage to a Qt window: the message becomes a WinMessageEvent posted to the receiver and
// handled in its event() on the user-interface thread. Any thread may post; nothing waits.
#include <QEvent>
#include <QObject>
#include <cstdint>
#include <mutex>

#include "platform/MessageTarget.h"

class WinMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();

    WinMessageEvent(uint32_t message, uintptr_t wParam, intptr_t lParam)
        : QEvent(EventType()), message(message), wParam(wParam), lParam(lParam) {}

    const uint32_t message;
    const uintptr_t wParam;
    const intptr_t lParam;
};

class CQtMessageTarget : public win::MessageTarget {
public:
    explicit CQtMessageTarget(QObject* receiver) : m_receiver(receiver) {}

    // False once the receiver is detached (the window is going away).
    bool PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    // After this no event reaches the receiver; the owner calls it before the receiver dies.
    void Detach();

private:
    std::mutex m_lock;
    QObject* m_receiver;  // under m_lock; not owned
};
