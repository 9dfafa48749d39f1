// The controls of the main dialog at their template places, each kind made by one factory
// function, and their signals turned into the dialog's commands.
#include <QCursor>
#include <QMouseEvent>

#include "app/DialogUnits.h"
#include "app/PlayerDlg.h"
#include "app/QtMessageTarget.h"
#include "display/VideoWnd.h"
#include "platform/Paths.h"
#include "skin/SkinButton.h"
#include "skin/SkinList.h"
#include "support/OwnerDrawListCtrl.h"
#include "support/SkinSliderCtrl.h"

namespace {

// Template 136, in dialog units. The skin's [PLAYPOSITION] replaces these when it has one.
constexpr DialogRect kClientRect{0, 0, 385, 312};
constexpr DialogRect kVideoRect{2, 1, 381, 165};
constexpr DialogRect kSliderRect{2, 196, 381, 15};
constexpr DialogRect kListRect{2, 241, 381, 68};

struct ButtonTemplate {
    int id;
    const char* text;
    DialogRect rect;
};
constexpr ButtonTemplate kButtons[] = {
    {IDC_PLAY, "PL", {27, 220, 13, 14}},      {IDC_PAUSE, "PA", {45, 220, 13, 14}},
    {IDC_STOP, "ST", {63, 220, 13, 14}},      {IDC_ADD, "AD", {9, 220, 13, 14}},
    {IDC_PREV, "PREV", {81, 220, 20, 14}},    {IDC_NEXT, "NEXT", {106, 220, 20, 14}},
    {IDC_STYLE, "Style", {138, 221, 20, 14}},
};

void Place(QWidget* control, int id, const DialogRect& rect) {
    control->setObjectName(QString::number(id));
    control->setGeometry(rect.ToPixels());
}

CSkinButton* MakeButton(QWidget* parent, const ButtonTemplate& t) {
    auto* button = new CSkinButton(parent);
    Place(button, t.id, t.rect);
    button->setText(QString::fromLatin1(t.text));
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

CSkinSliderCtrl* MakeSlider(QWidget* parent) {
    auto* slider = new CSkinSliderCtrl(parent);
    Place(slider, IDC_SLIDER, kSliderRect);
    slider->setOrientation(Qt::Horizontal);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setRange(0, 0);
    slider->setPageStep(0);
    slider->setEnabled(false);
    return slider;
}

COwnerDrawListCtrl* MakePlaylist(QWidget* parent) {
    auto* list = new COwnerDrawListCtrl(parent);
    Place(list, IDC_PLAYLIST, kListRect);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    list->setSortingEnabled(false);
    return list;
}

CVideoWnd* MakeVideoWindow(QWidget* parent, win::MessageTarget* dialog, CPlayerSettings& settings,
                           const std::string& programFolder) {
    auto* video = new CVideoWnd(dialog, settings, parent);
    video->SetProgramFolder(programFolder);
    video->SetSkinFolderSource([] { return GetSkinList() ? GetSkinList()->GetSubFolder() : ""; });
    Place(video, IDC_VIDEO, kVideoRect);
    return video;
}

}  // namespace

void CPlayerDlg::CreateControls() {
    m_client = new QWidget(this);
    m_client->setGeometry(kClientRect.ToPixels());
    resize(m_client->size());

    LoadSettings();
    m_video = MakeVideoWindow(m_client, m_messageTarget.get(), m_settings, m_programFolder);
    m_video->SetSettingsChanged([this] { SaveSettings(); });
    m_slider = MakeSlider(m_client);
    m_list = MakePlaylist(m_client);
    CSkinButton** buttonSlots[] = {&m_play, &m_pause, &m_stop, &m_add, &m_prev, &m_next, &m_style};
    for (size_t i = 0; i < std::size(kButtons); ++i)
        *buttonSlots[i] = MakeButton(m_client, kButtons[i]);
}

CSkinButton* CPlayerDlg::Button(int id) const {
    switch (id) {
        case IDC_PLAY:
            return m_play;
        case IDC_PAUSE:
            return m_pause;
        case IDC_STOP:
            return m_stop;
        case IDC_ADD:
            return m_add;
        case IDC_PREV:
            return m_prev;
        case IDC_NEXT:
            return m_next;
        case IDC_STYLE:
            return m_style;
        default:
            return nullptr;
    }
}

void CPlayerDlg::ConnectControls() {
    connect(m_play, &QAbstractButton::clicked, this, &CPlayerDlg::OnPlay);
    connect(m_pause, &QAbstractButton::clicked, this, &CPlayerDlg::OnPause);
    connect(m_stop, &QAbstractButton::clicked, this, &CPlayerDlg::OnStop);
    connect(m_add, &QAbstractButton::clicked, this, &CPlayerDlg::OnAdd);
    connect(m_prev, &QAbstractButton::clicked, this, &CPlayerDlg::OnPrevious);
    connect(m_next, &QAbstractButton::clicked, this, &CPlayerDlg::OnNext);
    connect(m_style, &QAbstractButton::clicked, this, &CPlayerDlg::OnStyle);

    // The trackbar's scroll codes: thumb dragged, thumb released, click in the channel.
    connect(m_slider, &QAbstractSlider::sliderMoved, this,
            [this](int position) { OnHScroll(SB_THUMBTRACK, position, 0); });
    connect(m_slider, &QAbstractSlider::sliderReleased, this,
            [this] { OnHScroll(SB_THUMBPOSITION, m_slider->sliderPosition(), 0); });
    // A page step, from a click beside the thumb or from PageUp/PageDown, seeks to where the
    // mouse cursor stands over the channel, as the trackbar's page codes always do.
    connect(m_slider, &QAbstractSlider::actionTriggered, this, [this](int action) {
        const int cursorX = m_slider->mapFromGlobal(QCursor::pos()).x();
        if (action == QAbstractSlider::SliderPageStepAdd)
            OnHScroll(SB_PAGEDOWN, m_slider->sliderPosition(), cursorX);
        else if (action == QAbstractSlider::SliderPageStepSub)
            OnHScroll(SB_PAGEUP, m_slider->sliderPosition(), cursorX);
        else if (action != QAbstractSlider::SliderMove)
            OnHScroll(SB_OTHER, m_slider->sliderPosition(), 0);
    });
    // The slider's wheel and the video's double clicks reach the dialog's application-wide
    // filter; a second, per-widget filter would act on each of them twice.

    connect(m_list, &QAbstractItemView::doubleClicked, this, [this] { PlaySelected(); });
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { ShowPlaylistMenu(m_list->viewport()->mapToGlobal(pos)); });
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_video)
            m_video->Tick(CVideoWnd::kTitleTimerId);
    });
}
