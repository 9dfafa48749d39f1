#pragma once
// The movie property box: frame rate, picture size, audio format and length of the file
// being played, each a language-table label padded to 30 characters and its value.
#include <QDialog>
#include <array>
#include <string>

#include "engine/IPropertyPresenter.h"
#include "skin/DialogSkin.h"

class CIconButton;
class CSkinLabel;

class CMoviePropertyDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kLabelIds[4] = {1052, 1053, 1054, 1055};
    static constexpr int kCloseId = 1057;
    // Labels shorter than this are padded with blanks before their value.
    static constexpr int kLabelColumns = 30;

    struct MovieFacts {
        int framesPerSecond = 0;
        int width = 0, height = 0;
        int samplesPerSecond = 0, channels = 0;
        uint32_t lengthSeconds = 0;
    };

    // withEngine reads the engine under the playlist player's engine lock.
    CMoviePropertyDlg(IPropertyPresenter::EngineReader withEngine, QWidget* parent = nullptr);
    ~CMoviePropertyDlg() override;

    // The four lines; userFrameRate (the language file's USERF) replaces the file's when not 0.
    static std::array<std::string, 4> BuildLines(const MovieFacts& facts, int userFrameRate);
    std::string LabelText(int index) const;

private:
    void OnInitDialog();

    IPropertyPresenter::EngineReader m_withEngine;
    std::string m_programFolder;
    QWidget* m_client = nullptr;
    std::array<CSkinLabel*, 4> m_labels{};
    CIconButton* m_closeButton = nullptr;
    CDialogSkin m_skin;
};
