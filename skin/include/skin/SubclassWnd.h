#pragma once
// Lets an object that is not a widget see a widget's events before the widget does. Several
// objects may hook one widget; they form a chain, the most recently attached first. Each
// passes what it does not handle on to the next (base OnMessage / CallDefault), and the last
// one hands the event to the widget's own handlers, at that moment, so an override can work
// both before and after the widget's own processing.
//
// Qt stand-in for the window-procedure chain: one process-wide event filter looks up the
// first hook of the widget that receives an event. When the widget is destroyed every hook
// of it is detached, so no hook is ever left pointing at a dead widget.
//
// Threads: user-interface thread only (the map has no lock, like the widgets it serves).
#include <QPointer>
#include <QWidget>

class QEvent;

class CSubclassWnd {
public:
    CSubclassWnd();
    virtual ~CSubclassWnd();  // detaches when attached
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;

    // Non-null hooks the widget (releasing any widget hooked before); null detaches.
    // Returns 1.
    virtual int Attach(QWidget* window);
    virtual int IsAttached() const { return m_hookedWindow != nullptr ? 1 : 0; }
    // Called with every event of the hooked widget (the chain's head first). Returns true
    // when the event has been dealt with. The base version passes it down the chain and, at
    // the bottom, lets the widget process it now.
    virtual bool OnMessage(QEvent* event);
    // Passes the event being handled on down the chain (not to this object's override).
    virtual bool CallDefault();

    QWidget* GetHookedWindow() const { return m_hookedWindow; }
    // The first hook of a widget, or null (the process-wide map).
    static CSubclassWnd* FirstHookOf(const QWidget* window);
    // True while a hook hands the event to its widget's own handlers: that second send runs
    // the application's event filters again, which must not act on it twice.
    static bool IsBeingResent(const QEvent* event);

private:
    friend class CSubclassDispatcher;

    QWidget* m_hookedWindow = nullptr;   // the hooked widget, or null
    QPointer<QWidget> m_guard;           // tells whether m_hookedWindow still lives
    CSubclassWnd* m_nextHook = nullptr;  // attached to the same widget before this one
};
