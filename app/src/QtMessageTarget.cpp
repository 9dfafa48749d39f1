#include "app/QtMessageTarget.h"

#include <QCoreApplication>

QEvent::Type WinMessageEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool CQtMessageTarget::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    // The lock keeps Detach from completing while an event is being queued for the receiver.
    std::lock_guard lk(m_lock);
    if (!m_receiver)
        return false;
    QCoreApplication::postEvent(m_receiver, new WinMessageEvent(message, wParam, lParam));
    return true;
}

void CQtMessageTarget::Detach() {
    std::lock_guard lk(m_lock);
    m_receiver = nullptr;
}
