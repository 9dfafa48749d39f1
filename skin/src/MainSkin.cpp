#include "skin/MainSkin.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <algorithm>

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/WinTypes.h"
#include "skin/DialogSkin.h"
#include "skin/SkinButton.h"
#include "skin/SkinHeader.h"
#include "skin/SkinList.h"
#include "support/LanguageTable.h"
#include "support/OwnerDrawListCtrl.h"
#include "support/SkinSliderCtrl.h"

namespace {

constexpr uint32_t kLayoutBufferBytes = 256;
constexpr int kDebugCanNotOpenFile = 1;  // "Can not open file %s!"
constexpr int kTitleError = 0;           // "Error"

const char* const kLayoutKeys[MainLayout::kPointCount] = {
    "DISPLAY1",    "DISPLAY2",   "SLIDER1",   "SLIDER2", "PREVBUTTON", "PLAYBUTTON", "STOPBUTTON",
    "PAUSEBUTTON", "NEXTBUTTON", "ADDBUTTON", "LIST1",   "LIST2",      "STYLEBUTTON"};

// The bitmap buttons in the order they are loaded, with their pictures and tooltip texts.
struct ButtonSkin {
    int id;
    const char* normal;
    const char* click;
    const char* disable;
    int tooltip;  // user-interface text
};
constexpr ButtonSkin kButtonSkins[] = {
    {IDC_PREV, "prev_normal.bmp", "prev_click.bmp", "prev_disable.bmp", 47},
    {IDC_PLAY, "play_normal_p.bmp", "play_click_p.bmp", "play_disable_p.bmp", 20},
    {IDC_STOP, "stop_normal_p.bmp", "stop_click_p.bmp", "stop_disable_p.bmp", 21},
    {IDC_PAUSE, "pause_normal_p.bmp", "pause_click_p.bmp", "pause_disable_p.bmp", 46},
    {IDC_NEXT, "next_normal.bmp", "next_click.bmp", "next_disable.bmp", 48},
    {IDC_STYLE, "style1.bmp", "style2.bmp", "style3.bmp", 68},
    {IDC_ADD, "open_normal.bmp", "open_click.bmp", "open_disable.bmp", 25},
};

// The message text with its first "%s" replaced by path (the text comes from a language
// file, so it is never used as a format string).
std::string FormatPath(std::string text, const std::string& path) {
    const size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, path);
    return text;
}

bool CanOpen(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly);
}

}  // namespace

CMainSkin::CMainSkin(ISkinnedMainDialog& dialog, const std::string& programFolder)
    : m_dialog(dialog),
      m_programFolder(programFolder.empty() ? win::ProgramFolder() : programFolder) {}

std::string CMainSkin::SkinFolder(const std::string& subFolder) const {
    return m_programFolder + win::ToNativePath(subFolder);
}

void CMainSkin::ApplyMainSkin() {
    const std::string subFolder = CurrentSkinSubFolder();
    ReadLayout(subFolder);
    MoveControls();
    LoadFrame(subFolder);
    LoadButtons(subFolder);
    if (COwnerDrawListCtrl* list = m_dialog.SkinPlaylist()) {
        if (list->GetSortHeader() == nullptr)
            CSkinHeader::Install(list, m_programFolder);
        list->SetHeaderBitmap(subFolder);
    }
    ApplyListColours(subFolder);
    // A window larger than the skin: the layout and the slider's backdrop follow the new
    // skin's own size (at the drawn size this moves nothing).
    MoveControls();
    m_dialog.ReloadScope(SkinFolder(subFolder));
    MoveOnePixelDown();
}

void CMainSkin::ReadLayout(const std::string& subFolder) {
    m_layout.layoutValid = false;
    m_skinWnd.SetBackgroundSplit(QPoint(-1, -1));
    const std::string ini = SkinFolder(subFolder) + "theme.ini";
    if (!win::FileExists(ini))
        return;
    QPoint* points = m_layout.Points();
    for (int i = 0; i < MainLayout::kPointCount; ++i) {
        char text[kLayoutBufferBytes];
        win::GetPrivateProfileString(kLayoutSection, kLayoutKeys[i], "", text, sizeof text, ini);
        int x = 0, y = 0;
        if (text[0] == '\0' || !ReadLayoutPoint(text, &x, &y))
            return;
        points[i] = QPoint(x, y);
    }
    m_layout.layoutValid = true;
    // The background grows where the layout does.
    m_skinWnd.SetBackgroundSplit(LayoutSplit(m_layout));
}

void CMainSkin::MoveButton(int id, QPoint topLeft) {
    if (QWidget* button = m_dialog.SkinButton(id))
        button->move(topLeft);
}

void CMainSkin::MoveToRect(QWidget* widget, QPoint p1, QPoint p2) {
    if (widget != nullptr)
        widget->setGeometry(p1.x(), p1.y(), p2.x() - p1.x(), p2.y() - p1.y());
}

QPoint LayoutSplit(const MainLayout& layout) {
    return QPoint((layout.display1.x() + layout.display2.x()) / 2,
                  (layout.display1.y() + layout.display2.y()) / 2);
}

MainLayout GrownLayout(const MainLayout& layout, QSize drawnSize, QSize clientSize) {
    if (!layout.layoutValid || drawnSize.isEmpty())
        return layout;
    const int dx = std::max(0, clientSize.width() - drawnSize.width());
    const int dy = std::max(0, clientSize.height() - drawnSize.height());
    if (dx == 0 && dy == 0)
        return layout;
    const QPoint split = LayoutSplit(layout);
    MainLayout grown = layout;
    QPoint* points = grown.Points();
    for (int i = 0; i < MainLayout::kPointCount; ++i) {
        QPoint& p = points[i];
        p += QPoint(p.x() > split.x() ? dx : 0, p.y() > split.y() ? dy : 0);
    }
    return grown;
}

QSize CMainSkin::DrawnSize() const {
    const CSkinBitmap& background = m_skinWnd.Background();
    if (!m_skinWnd.IsLoaded() || background.IsEmpty())
        return QSize();
    return QSize(background.Width(), background.Height());
}

void CMainSkin::MoveControls() {
    if (!m_layout.layoutValid)
        return;
    QWidget* client = m_dialog.SkinClient();
    const MainLayout l =
        GrownLayout(m_layout, DrawnSize(), client != nullptr ? client->size() : QSize());
    MoveButton(IDC_PREV, l.prevButton);
    MoveButton(IDC_PLAY, l.playButton);
    MoveButton(IDC_STOP, l.stopButton);
    MoveButton(IDC_PAUSE, l.pauseButton);
    MoveButton(IDC_NEXT, l.nextButton);
    MoveButton(IDC_ADD, l.addButton);
    MoveButton(IDC_STYLE, l.styleButton);
    MoveToRect(m_dialog.SkinSlider(), l.slider1, l.slider2);
    MoveToRect(m_dialog.SkinPlaylist(), l.list1, l.list2);
    MoveToRect(m_dialog.SkinVideoWindow(), l.display1, l.display2);
    RefreshSliderBackdrop();
}

void CMainSkin::RefreshSliderBackdrop() {
    CSkinSliderCtrl* slider = m_dialog.SkinSlider();
    QWidget* client = m_dialog.SkinClient();
    if (slider == nullptr || client == nullptr || !slider->IsSkinned() || m_skinFolder.empty())
        return;
    const QSize drawn = DrawnSize();
    const bool grown =
        !drawn.isEmpty() && (client->width() > drawn.width() || client->height() > drawn.height());
    if (!grown) {
        // The skin's own snapshot, taken where the slider sits at the drawn size.
        if (m_sliderBackdrop)
            slider->SetSkin(m_skinFolder, m_skinFolder + kBackgroundFile);
        m_sliderBackdrop = false;
        return;
    }
    QImage backdrop(slider->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    backdrop.fill(Qt::black);
    {
        QPainter painter(&backdrop);
        painter.translate(-slider->pos());
        CSkinWnd::DrawSplitBackground(painter, m_skinWnd.Background().Image(),
                                      m_skinWnd.BackgroundSplit(),
                                      QRect(QPoint(0, 0), client->size()));
    }
    slider->SetBackgroundSnapshot(backdrop);
    m_sliderBackdrop = true;
}

void CMainSkin::LoadFrame(const std::string& subFolder) {
    const std::string skinFolder = SkinFolder(subFolder);
    const std::string ini = skinFolder + "theme.ini";
    if (!CanOpen(ini)) {
        const CLanguageTable& texts = LanguageTable();
        win::MessageBox(FormatPath(texts.DebugInfo(kDebugCanNotOpenFile), ini),
                        texts.TitleInfo(kTitleError), win::MB_ICONERROR);
        return;
    }
    m_skinWnd.LoadSkin(ini, skinFolder + kBackgroundFile);
    if (attachPending) {
        m_skinWnd.Attach(m_dialog.SkinWindow(), true, m_dialog.SkinClient());
        attachPending = false;
    }
}

void CMainSkin::LoadButtons(const std::string& subFolder) {
    const std::string skinFolder = SkinFolder(subFolder);
    const std::string background = skinFolder + kBackgroundFile;
    CSkinBitmap keyedBackground;
    keyedBackground.LoadKeyed(background, CSkinButton::kKeyColor);
    for (const ButtonSkin& skin : kButtonSkins) {
        CSkinButton* button = m_dialog.SkinButton(skin.id);
        if (button == nullptr)
            continue;
        button->SetBitmaps(skinFolder + skin.normal, skinFolder + skin.click,
                           skinFolder + skin.disable, keyedBackground);
        button->setText(QString());
        button->SetTooltipText(LanguageTable().UIInfo(skin.tooltip).c_str());
        if (skin.id == IDC_STYLE) {
            const CSkinList* list = GetSkinList();
            // With one skin there is nothing to choose.
            if (list == nullptr || list->GetSkinCount() < 2)
                button->setVisible(false);
        }
    }
    m_skinFolder = skinFolder;
    m_sliderBackdrop = false;
    if (CSkinSliderCtrl* slider = m_dialog.SkinSlider()) {
        slider->SetSkin(skinFolder, background);
        slider->setFocus();
        slider->setRange(0, 0);
        slider->setValue(0);
        slider->setEnabled(false);
    }
}

void CMainSkin::ApplyListColours(const std::string& subFolder) {
    COwnerDrawListCtrl* list = m_dialog.SkinPlaylist();
    if (list == nullptr)
        return;
    const std::string ini = SkinFolder(subFolder) + "theme.ini";
    char text[kLayoutBufferBytes];
    COLORREF colour = 0;
    win::GetPrivateProfileString(kLayoutSection, "LISTBKCOLOR", "", text, sizeof text, ini);
    ReadLayoutColor(text, &colour);
    list->SetBkColor(colour);
    colour = 0;
    win::GetPrivateProfileString(kLayoutSection, "LISTSELCOLOR", "", text, sizeof text, ini);
    ReadLayoutColor(text, &colour);
    list->SetCurrentRowColor(colour);
}

void CMainSkin::MoveOnePixelDown() {
    QWidget* window = m_dialog.SkinWindow();
    if (window == nullptr)
        return;
    window->update();
    window->setFocus();
    window->move(window->x(), window->y() + 1);
}

bool CMainSkin::IsSkinCommand(int id) const {
    return id >= kSkinCommandBase && id < kSkinCommandBase + kMaxSkinMenuItems;
}

int CMainSkin::ShowSkinMenu() {
    const CSkinList* list = GetSkinList();
    CSkinButton* button = m_dialog.SkinButton(IDC_STYLE);
    if (list == nullptr || button == nullptr)
        return 0;
    QMenu menu(m_dialog.SkinWindow());
    const int count = std::min(list->GetSkinCount(), kMaxSkinMenuItems);
    for (int i = 0; i < count; ++i) {
        QAction* item = menu.addAction(QString::fromUtf8(list->GetSkin(i)->name));
        item->setData(kSkinCommandBase + i);
        item->setCheckable(true);
        item->setChecked(i == list->GetCurrent());
    }
    const QPoint at = button->mapToGlobal(QPoint(button->width() / 2, button->height()));
    QAction* chosen = menu.exec(at);
    if (chosen == nullptr)
        return 0;
    const int id = chosen->data().toInt();
    OnSkinCommand(id);
    return id;
}

void CMainSkin::OnSkinCommand(int id) {
    CSkinList* list = GetSkinList();
    if (list == nullptr || !IsSkinCommand(id))
        return;
    const int before = list->GetCurrent();
    list->SelectSkin(id - kSkinCommandBase);
    if (list->GetCurrent() == before)
        return;
    m_dialog.SaveSettings();
    ApplyMainSkin();
}
