#include "app/QtMessageBoxService.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "platform/WinTypes.h"

namespace {

QMessageBox::Icon IconOf(uint32_t flags) {
    switch (flags & 0xF0) {
        case win::MB_ICONERROR:
            return QMessageBox::Critical;
        case win::MB_ICONQUESTION:
            return QMessageBox::Question;
        case win::MB_ICONWARNING:
            return QMessageBox::Warning;
        case win::MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

int CQtMessageBoxService::ShowModal(const std::string& text, const std::string& caption,
                                    uint32_t flags) {
    // The box belongs to the window the user is looking at, as a box "on the dialog" does.
    QMessageBox box(IconOf(flags), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
    return win::IDOK;
}

int CQtMessageBoxService::Show(const std::string& text, const std::string& caption,
                               uint32_t flags) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return win::IDOK;
    if (QThread::currentThread() == app->thread())
        return ShowModal(text, caption, flags);
    QMetaObject::invokeMethod(
        app, [text, caption, flags] { ShowModal(text, caption, flags); }, Qt::QueuedConnection);
    return win::IDOK;
}
