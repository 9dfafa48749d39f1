// The frame's window states (its own maximize, minimize and restore) and its system menu.
#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QWindow>

#include "skin/SkinWnd.h"
#include "support/LanguageTable.h"

namespace {

constexpr const char* kSystemMenuName = "tvqSystemMenu";

// The window menu's items, with their words in the language table.
struct SystemMenuItem {
    unsigned id;
    int text;  // user-interface text
};
constexpr SystemMenuItem kSystemMenuItems[] = {
    {SC_RESTORE, CLanguageTable::kUIRestore},   {SC_MOVE, CLanguageTable::kUIMove},
    {SC_SIZE, CLanguageTable::kUISize},         {SC_MINIMIZE, CLanguageTable::kUIMinimize},
    {SC_MAXIMIZE, CLanguageTable::kUIMaximize}, {SC_CLOSE, CLanguageTable::kUIClose}};

}  // namespace

void CSkinWnd::Maximize() {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    const QRect work = screen != nullptr ? screen->availableGeometry() : window->geometry();
    savedRect = window->geometry();
    windowState = WindowState::Maximized;
    window->setGeometry(work);
    window->update();
}

void CSkinWnd::Restore() {
    QWidget* window = Window();
    if (window == nullptr || windowState != WindowState::Maximized)
        return;
    window->setGeometry(savedRect);
    windowState = WindowState::Normal;
    window->update();
}

void CSkinWnd::Minimize() {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    stateBeforeMinimize = windowState;
    windowState = WindowState::Minimized;
    window->showMinimized();
}

void CSkinWnd::RestoreFromSysCommand() {
    QWidget* window = Window();
    if (windowState == WindowState::Maximized) {
        Restore();
    } else if (windowState == WindowState::Minimized) {
        window->showNormal();
        windowState = stateBeforeMinimize;
        window->update();
    } else {
        window->showNormal();
    }
}

QMenu* CSkinWnd::GetSystemMenu(QWidget* window) {
    if (window == nullptr)
        return nullptr;
    if (auto* menu = window->findChild<QMenu*>(kSystemMenuName, Qt::FindDirectChildrenOnly))
        return menu;
    auto* menu = new QMenu(window);
    menu->setObjectName(kSystemMenuName);
    const CLanguageTable& texts = LanguageTable();
    for (const SystemMenuItem& item : kSystemMenuItems) {
        if (item.id == SC_CLOSE)
            menu->addSeparator();
        // Like the about item, an item whose word the language file leaves empty is left out.
        const std::string& text = texts.UIInfo(item.text);
        if (!text.empty())
            menu->addAction(QString::fromStdString(text))->setData(item.id);
    }
    return menu;
}

QMenu* CSkinWnd::PrepareSystemMenu() const {
    QMenu* menu = GetSystemMenu(Window());
    if (menu == nullptr)
        return nullptr;
    const QWidget* window = Window();
    const bool maximized = windowState == WindowState::Maximized || window->isMaximized();
    const bool minimized = windowState == WindowState::Minimized || window->isMinimized();
    for (QAction* action : menu->actions()) {
        switch (action->data().toUInt()) {
            case SC_RESTORE:
                action->setEnabled(maximized || minimized);
                break;
            case SC_MOVE:
                action->setEnabled(!maximized);
                break;
            case SC_SIZE:
                action->setEnabled(hadThickFrame != 0 && !maximized && !minimized);
                break;
            case SC_MINIMIZE:
                action->setEnabled(hadMinimizeBox != 0 && !minimized);
                break;
            case SC_MAXIMIZE:
                action->setEnabled(hadMaximizeBox != 0 && !maximized);
                break;
            default:
                break;
        }
    }
    return menu;
}

void CSkinWnd::ShowSystemMenu(QPoint globalPos) {
    QMenu* menu = PrepareSystemMenu();
    if (menu == nullptr)
        return;
    QAction* chosen = menu->exec(globalPos);
    if (chosen != nullptr && Window() != nullptr)
        OnSystemMenuCommand(chosen->data().toUInt());
}

void CSkinWnd::OnSystemMenuCommand(unsigned id) {
    QWidget* window = Window();
    if (window == nullptr)
        return;
    switch (id) {
        case SC_MAXIMIZE:
            Maximize();
            break;
        case SC_MINIMIZE:
            Minimize();
            break;
        case SC_RESTORE:
            RestoreFromSysCommand();
            break;
        case SC_CLOSE:
            window->close();
            break;
        case SC_MOVE:
            if (window->windowHandle() != nullptr)
                window->windowHandle()->startSystemMove();
            break;
        case SC_SIZE:
            if (window->windowHandle() != nullptr)
                window->windowHandle()->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
            break;
        default:
            if (m_sysCommandHandler)
                m_sysCommandHandler(id);
            break;
    }
}
