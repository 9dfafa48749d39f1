#include "app/MoviePropertyDlg.h"

#include <QString>
#include <cstdio>

#include "app/DialogUnits.h"
#include "engine/PlaybackEngine.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "skin/IconButton.h"
#include "skin/SkinLabel.h"
#include "support/LanguageTable.h"

namespace {

// Language-table entries of the box.
constexpr int kUiExit = 7;
constexpr int kUiFramesLabel = 55;
constexpr int kUiAudioLabel = 56;
constexpr int kUiSizeLabel = 57;
constexpr int kUiTimeLabel = 58;
constexpr int kUiTitle = 59;
constexpr int kOptionUserFrameRate = 3;

// Template 170: the box, the four labels and the close button.
constexpr DialogRect kTemplate{0, 0, 247, 133};
constexpr DialogRect kLabelRects[4] = {
    {7, 14, 233, 8}, {7, 30, 233, 8}, {7, 45, 233, 8}, {7, 59, 234, 8}};
constexpr DialogRect kCloseRect{91, 77, 50, 33};

std::string Padded(const std::string& label) {
    QString text = QString::fromStdString(label);
    if (text.size() < CMoviePropertyDlg::kLabelColumns)
        text = text.leftJustified(CMoviePropertyDlg::kLabelColumns, ' ');
    return text.toStdString();
}

std::string Printf(const char* format, int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

CMoviePropertyDlg::CMoviePropertyDlg(IPropertyPresenter::EngineReader withEngine, QWidget* parent)
    : QDialog(parent),
      m_withEngine(std::move(withEngine)),
      m_programFolder(win::ProgramFolder()),
      m_skin(m_programFolder) {
    m_client = new QWidget(this);
    const QRect box = kTemplate.ToPixels();
    resize(box.size());
    m_client->setGeometry(box);
    for (int i = 0; i < 4; ++i) {
        m_labels[i] = new CSkinLabel(m_client);
        m_labels[i]->setObjectName(QString::number(kLabelIds[i]));
        m_labels[i]->setGeometry(kLabelRects[i].ToPixels());
    }
    m_closeButton = new CIconButton(m_client);
    m_closeButton->setObjectName(QString::number(kCloseId));
    m_closeButton->setGeometry(kCloseRect.ToPixels());
    connect(m_closeButton, &QAbstractButton::clicked, this, &QWidget::close);
    OnInitDialog();
}

CMoviePropertyDlg::~CMoviePropertyDlg() = default;

std::array<std::string, 4> CMoviePropertyDlg::BuildLines(const MovieFacts& facts,
                                                         int userFrameRate) {
    const CLanguageTable& text = LanguageTable();
    const int fps = userFrameRate != 0 ? userFrameRate : facts.framesPerSecond;
    return {Padded(text.UIInfo(kUiFramesLabel)) + Printf(" %d", fps, 0),
            Padded(text.UIInfo(kUiSizeLabel)) + Printf(" %dx%d", facts.width, facts.height),
            Padded(text.UIInfo(kUiAudioLabel)) +
                Printf(" %d,%d channel", facts.samplesPerSecond, facts.channels),
            Padded(text.UIInfo(kUiTimeLabel)) + " " + win::ClockText(facts.lengthSeconds)};
}

std::string CMoviePropertyDlg::LabelText(int index) const {
    return index >= 0 && index < 4 ? m_labels[index]->GetText() : std::string();
}

void CMoviePropertyDlg::OnInitDialog() {
    const CLanguageTable& text = LanguageTable();
    const int userFrameRate = text.GetOptionValue(kOptionUserFrameRate);
    CenterOnScreen(this);
    setWindowTitle(QString::fromStdString(text.UIInfo(kUiTitle)));

    MovieFacts facts;
    const int haveEngine = m_withEngine ? m_withEngine([&facts](CPlaybackEngine& engine) {
        const win::WAVEFORMATEX& audio = engine.GetAudioFormat();
        const win::BITMAPINFOHEADER& picture = engine.GetPictureFormat();
        facts.framesPerSecond = engine.GetFramesPerSecond();
        facts.width = picture.biWidth;
        facts.height = picture.biHeight;
        facts.samplesPerSecond = static_cast<int>(audio.nSamplesPerSec);
        facts.channels = audio.nChannels;
        facts.lengthSeconds = static_cast<uint32_t>(engine.GetLengthSeconds());
    })
                                        : 0;
    if (haveEngine) {
        const auto lines = BuildLines(facts, userFrameRate);
        for (int i = 0; i < 4; ++i) m_labels[i]->SetText(lines[i]);
    }
    m_closeButton->setText(QString::fromStdString(text.UIInfo(kUiExit)));
    m_skin.ApplyDialogSkin(this, m_client, {m_labels.begin(), m_labels.end()});
}
