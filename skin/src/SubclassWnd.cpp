#include "skin/SubclassWnd.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>
#include <unordered_map>
#include <vector>

// The process-wide event filter standing in for the hooked window procedure: it finds the
// first hook of the widget an event is for and runs the chain.
class CSubclassDispatcher : public QObject {
public:
    static CSubclassDispatcher& Instance() {
        // Lives until exit: hooks may be detached by destructors that run late.
        static CSubclassDispatcher* dispatcher = new CSubclassDispatcher;
        return *dispatcher;
    }

    std::unordered_map<const QWidget*, CSubclassWnd*> map;  // widget -> first hook

    struct Record {  // the event being handled, for CallDefault
        QWidget* widget;
        QEvent* event;
    };
    std::vector<Record> records;  // innermost last
    // Events being handed to their widget's own handlers right now.
    std::vector<const QEvent*> passingThrough;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!IsChained(event->type()))
            return false;
        if (!passingThrough.empty() && passingThrough.back() == event)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        auto it = map.find(widget);
        if (it == map.end())
            return false;
        records.push_back({widget, event});
        const bool handled = it->second->OnMessage(event);
        records.pop_back();
        return handled;
    }

    // The widget's own handlers, now.
    bool CallWidget(QWidget* widget, QEvent* event) {
        passingThrough.push_back(event);
        QCoreApplication::sendEvent(widget, event);
        passingThrough.pop_back();
        return true;
    }

    void DetachAll(const QObject* widget) {
        for (;;) {
            auto it = map.find(static_cast<const QWidget*>(widget));
            if (it == map.end())
                break;
            // The base detach: an override must not be able to keep the dead widget.
            it->second->CSubclassWnd::Attach(nullptr);
        }
    }

private:
    // Bookkeeping events of the object system are never part of the chain: they must reach
    // the widget exactly as sent, and DeferredDelete destroys it.
    static bool IsChained(QEvent::Type type) {
        switch (type) {
            case QEvent::DeferredDelete:
            case QEvent::ChildAdded:
            case QEvent::ChildRemoved:
            case QEvent::ChildPolished:
            case QEvent::MetaCall:
            case QEvent::ThreadChange:
            case QEvent::Polish:
            case QEvent::PolishRequest:
                return false;
            default:
                return true;
        }
    }
};

CSubclassWnd::CSubclassWnd() = default;

CSubclassWnd::~CSubclassWnd() {
    Attach(nullptr);
}

CSubclassWnd* CSubclassWnd::FirstHookOf(const QWidget* window) {
    auto& map = CSubclassDispatcher::Instance().map;
    auto it = map.find(window);
    return it == map.end() ? nullptr : it->second;
}

int CSubclassWnd::Attach(QWidget* window) {
    auto& dispatcher = CSubclassDispatcher::Instance();
    if (window != nullptr) {
        if (m_hookedWindow != nullptr)
            Attach(nullptr);
        auto it = dispatcher.map.find(window);
        m_nextHook = it == dispatcher.map.end() ? nullptr : it->second;
        if (m_nextHook == nullptr) {
            window->installEventFilter(&dispatcher);
            // The last event a widget gets: every hook lets go of it.
            QObject::connect(window, &QObject::destroyed, &dispatcher,
                             [&dispatcher](QObject* gone) { dispatcher.DetachAll(gone); });
        }
        dispatcher.map[window] = this;
        m_hookedWindow = window;
        m_guard = window;
        return 1;
    }
    if (m_hookedWindow == nullptr)
        return 1;
    auto it = dispatcher.map.find(m_hookedWindow);
    if (it != dispatcher.map.end()) {
        if (it->second == this) {
            if (m_nextHook == nullptr) {
                dispatcher.map.erase(it);
                if (m_guard) {
                    m_hookedWindow->removeEventFilter(&dispatcher);
                    QObject::disconnect(m_hookedWindow, &QObject::destroyed, &dispatcher, nullptr);
                }
            } else {
                it->second = m_nextHook;
            }
        } else {
            for (CSubclassWnd* hook = it->second; hook != nullptr; hook = hook->m_nextHook) {
                if (hook->m_nextHook == this) {
                    hook->m_nextHook = m_nextHook;
                    break;
                }
            }
        }
    }
    m_nextHook = nullptr;
    m_hookedWindow = nullptr;
    m_guard = nullptr;
    return 1;
}

bool CSubclassWnd::IsBeingResent(const QEvent* event) {
    const auto& passing = CSubclassDispatcher::Instance().passingThrough;
    return std::find(passing.begin(), passing.end(), event) != passing.end();
}

bool CSubclassWnd::OnMessage(QEvent* event) {
    if (m_nextHook != nullptr)
        return m_nextHook->OnMessage(event);
    if (!m_guard)
        return false;
    return CSubclassDispatcher::Instance().CallWidget(m_hookedWindow, event);
}

bool CSubclassWnd::CallDefault() {
    auto& records = CSubclassDispatcher::Instance().records;
    if (records.empty())
        return false;
    return CSubclassWnd::OnMessage(records.back().event);
}
