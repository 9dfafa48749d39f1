#pragma once
// The skinning of the main player dialog: the [PLAYPOSITION] layout of theme.ini, the frame
// with "dialog-p.bmp", the bitmap buttons, the seek slider, the playlist's header and colours,
// the video window's scope strip, and the skin menu of the style button.
//
// The dialog implements ISkinnedMainDialog and owns one CMainSkin; nothing here depends on
// the dialog's own classes.
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <string>

#include "skin/SkinWnd.h"
#include "support/IniValues.h"

class CSkinButton;
class CSkinSliderCtrl;
class COwnerDrawListCtrl;

// Control identifiers of the main dialog.
enum MainDialogControl : int {
    IDC_VIDEO = 1040,
    IDC_PLAY = 1041,
    IDC_PAUSE = 1042,
    IDC_STOP = 1043,
    IDC_ADD = 1045,
    IDC_PLAYLIST = 1046,
    IDC_PREV = 1047,
    IDC_NEXT = 1048,
    IDC_SLIDER = 1049,
    IDC_STYLE = 1050,
};

// What the skinning needs from the main dialog.
class ISkinnedMainDialog {
public:
    virtual ~ISkinnedMainDialog() = default;
    // The top-level window and the widget that holds the controls (its client area).
    virtual QWidget* SkinWindow() = 0;
    virtual QWidget* SkinClient() = 0;
    // A bitmap button by control identifier (IDC_PLAY ... IDC_STYLE), or null.
    virtual CSkinButton* SkinButton(int id) = 0;
    virtual CSkinSliderCtrl* SkinSlider() = 0;
    virtual COwnerDrawListCtrl* SkinPlaylist() = 0;
    virtual QWidget* SkinVideoWindow() = 0;
    // The video window reloads its scope strip from the skin folder (ends with '/').
    virtual void ReloadScope(const std::string& skinFolder) = 0;
    // Writes settings.ini after the skin index changed.
    virtual void SaveSettings() = 0;
};

// The thirteen points of [PLAYPOSITION], in key order.
struct MainLayout {
    static constexpr int kPointCount = 13;
    QPoint display1, display2, slider1, slider2, prevButton, playButton, stopButton, pauseButton,
        nextButton, addButton, list1, list2, styleButton;
    bool layoutValid = false;

    QPoint* Points() { return &display1; }
    const QPoint* Points() const { return &display1; }
};

// Where a layout grows: the middle of its video window. A point of the layout beyond it (to the
// right, or below) keeps its distance to the far edge of a grown window; the video window's far
// corner is such a point, so the video window takes all the extra room.
QPoint LayoutSplit(const MainLayout& layout);
// The layout in a client area of clientSize, for a skin drawn at drawnSize (its background
// bitmap): as read when the client is no larger, or without a drawn size or a valid layout;
// otherwise with every point beyond the split moved by the extra width and height.
MainLayout GrownLayout(const MainLayout& layout, QSize drawnSize, QSize clientSize);

// The largest coordinate a layout point takes; larger numbers are held at it.
constexpr int kMaxLayoutCoordinate = 1 << 16;
// "(x,y)": digits, one comma, parentheses; true on success.
bool ReadLayoutPoint(const char* text, int* x, int* y);
// "(r,g,b)"; on failure colour is left unchanged.
bool ReadLayoutColor(const char* text, COLORREF* colour);

class CMainSkin {
public:
    static constexpr const char* kBackgroundFile = "dialog-p.bmp";
    static constexpr const char* kLayoutSection = "PLAYPOSITION";
    static constexpr int kSkinCommandBase = 0x8000;
    static constexpr int kMaxSkinMenuItems = 16;  // 32784 is the playlist's Delete

    // programFolder empty: the program's own folder.
    explicit CMainSkin(ISkinnedMainDialog& dialog, const std::string& programFolder = {});

    void ApplyMainSkin();
    void ReadLayout(const std::string& subFolder);
    // The layout grown to the client area (see GrownLayout); also on every resize of the dialog.
    void MoveControls();
    void LoadFrame(const std::string& subFolder);
    void LoadButtons(const std::string& subFolder);
    void ApplyListColours(const std::string& subFolder);

    // The style button's menu, shown below its middle; returns the chosen identifier or 0.
    int ShowSkinMenu();
    // Command identifiers kSkinCommandBase ... kSkinCommandBase + kMaxSkinMenuItems - 1.
    bool IsSkinCommand(int id) const;
    void OnSkinCommand(int id);

    CSkinWnd& Frame() { return m_skinWnd; }
    const MainLayout& Layout() const { return m_layout; }
    // The client size the skin was drawn for (its background bitmap); empty before the frame
    // loads.
    QSize DrawnSize() const;
    bool AttachPending() const { return attachPending; }
    std::string SkinFolder(const std::string& subFolder) const;

private:
    void MoveButton(int id, QPoint topLeft);
    void MoveToRect(QWidget* widget, QPoint p1, QPoint p2);
    void MoveOnePixelDown();
    // The slider's picture of the background under it, cut from the grown background while
    // the window is larger than the skin; the skin's own snapshot again once it is not.
    void RefreshSliderBackdrop();

    ISkinnedMainDialog& m_dialog;
    std::string m_programFolder;
    CSkinWnd m_skinWnd;
    bool attachPending = true;
    MainLayout m_layout;
    std::string m_skinFolder;       // of the last LoadButtons, with '/'
    bool m_sliderBackdrop = false;  // the slider shows a grown backdrop
};
