#pragma once
// The skinning of the secondary dialogs (about box, movie property box): the skinned frame,
// the background picture "Dialog-d.bmp" and the transparent labels on it. A dialog owns one
// CDialogSkin and runs ApplyDialogSkin at the end of its set-up.
#include <QWidget>
#include <string>
#include <vector>

#include "skin/SkinLabel.h"
#include "skin/SkinWnd.h"

class CDialogSkin {
public:
    static constexpr const char* kBackgroundFile = "Dialog-d.bmp";

    // programFolder empty: the program's own folder.
    explicit CDialogSkin(const std::string& programFolder = std::string());

    // dialog: the top-level window; client: the widget holding its controls. Loads the
    // frame (when theme.ini opens), gives the labels their background, moves the dialog one
    // pixel down and centres it. No message on a missing theme.ini: the ordinary frame stays.
    void ApplyDialogSkin(QWidget* dialog, QWidget* client, const std::vector<CSkinLabel*>& labels);

    CSkinWnd& Frame() { return m_skinWnd; }
    bool AttachPending() const { return attachPending; }
    std::string SkinFolder() const;

private:
    std::string m_programFolder;
    CSkinWnd m_skinWnd;
    bool attachPending = true;
};

// Centres a top-level window on its screen (CenterWindow (NULL)).
void CenterOnScreen(QWidget* window);
// The skin folder of the current skin: program folder + sub-folder, in native spelling.
std::string CurrentSkinFolder(const std::string& programFolder);
std::string CurrentSkinSubFolder();
