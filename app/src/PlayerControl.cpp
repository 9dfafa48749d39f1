#include "app/PlayerControl.h"

CPlaylistPlayerControl::CPlaylistPlayerControl(IPropertyPresenter* presenter,
                                               std::function<bool()> isSeekBarEnabled) {
    m_player.SetPropertyPresenter(presenter);
    m_player.SetSeekBar(std::move(isSeekBarEnabled));
}
