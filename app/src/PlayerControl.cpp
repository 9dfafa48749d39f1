#include "app/PlayerControl.h"

#include "engine/PlaybackEngine.h"
#include "platform/sound/SoundRing.h"

CPlaylistPlayerControl::CPlaylistPlayerControl(IPropertyPresenter* presenter,
                                               std::function<bool()> isSeekBarEnabled) {
    m_player.SetPropertyPresenter(presenter);
    m_player.SetSeekBar(std::move(isSeekBarEnabled));
}

void CPlaylistPlayerControl::SetVolume(int percent, bool muted) {
    const float gain = static_cast<float>(percent) / 100.0f;
    m_player.AudioOutput().SetUserVolume(win::SoundRing::VolumeOfGain(gain), muted ? 1 : 0);
}

int64_t CPlaylistPlayerControl::GetPositionMs() {
    return m_player.HasEngine() ? m_player.AudioOutput().GetShownPositionMs() : 0;
}

int32_t CPlaylistPlayerControl::GetLengthSeconds() {
    int32_t length = 0;
    m_player.WithEngine([&](CPlaybackEngine& engine) { length = engine.GetLengthSeconds(); });
    return length;
}

PlaySpeed CPlaylistPlayerControl::GetSpeed() {
    PlaySpeed speed;
    m_player.WithEngine([&](CPlaybackEngine& engine) {
        speed = {engine.GetMode(), engine.GetSpeed()};
    });
    return speed;
}
