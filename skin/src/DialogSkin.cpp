#include "skin/DialogSkin.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include "platform/Paths.h"
#include "skin/SkinList.h"

std::string CurrentSkinSubFolder() {
    const CSkinList* list = GetSkinList();
    return list != nullptr ? list->GetSubFolder() : std::string(CSkinList::kDefaultFolder);
}

std::string CurrentSkinFolder(const std::string& programFolder) {
    return programFolder + win::ToNativePath(CurrentSkinSubFolder());
}

void CenterOnScreen(QWidget* window) {
    if (window == nullptr)
        return;
    QScreen* screen =
        window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

CDialogSkin::CDialogSkin(const std::string& programFolder)
    : m_programFolder(programFolder.empty() ? win::ProgramFolder() : programFolder) {}

std::string CDialogSkin::SkinFolder() const {
    return CurrentSkinFolder(m_programFolder);
}

void CDialogSkin::ApplyDialogSkin(QWidget* dialog, QWidget* client,
                                  const std::vector<CSkinLabel*>& labels) {
    if (dialog == nullptr)
        return;
    const std::string skinFolder = SkinFolder();
    const std::string ini = skinFolder + "theme.ini";
    const std::string bitmap = skinFolder + kBackgroundFile;
    // Without a readable theme.ini the dialog quietly keeps its ordinary frame.
    if (QFile file(QString::fromStdString(ini)); file.open(QIODevice::ReadOnly)) {
        file.close();
        m_skinWnd.LoadSkin(ini, bitmap);
        if (attachPending) {
            m_skinWnd.Attach(dialog, false, client);
            attachPending = false;
        }
    }
    for (CSkinLabel* label : labels)
        if (label != nullptr)
            label->SetBackground(bitmap, label->FileNameOnly());
    dialog->update();
    dialog->setFocus();
    dialog->move(dialog->x(), dialog->y() + 1);
    CenterOnScreen(dialog);
}
