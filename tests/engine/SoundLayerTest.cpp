// The sound layer on its own: buffer semantics on the virtual device, the play cursor of stamped
// takes and the frame timer that reads it, and the SDL device on SDL's headless drivers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <SDL.h>

#include "DirectSoundPlayerTestSupport.h"
#include "platform/Sync.h"
#include "platform/sound/DirectSound.h"
#include "platform/sound/SdlSoundDevice.h"
#include "platform/sound/VirtualSoundDevice.h"

namespace {

using namespace win;

WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
    WAVEFORMATEX f;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

constexpr uint32_t kStreamFlags =
    DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRLVOLUME;

class SoundLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetSoundDeviceFactory([d = device_] { return d; });
        ASSERT_EQ(DirectSoundCreate(&ds_), DS_OK);
    }
    void TearDown() override { SetSoundDeviceFactory({}); }

    std::unique_ptr<DirectSoundBuffer> MakeBuffer(uint32_t bytes, const WAVEFORMATEX& f,
                                                  uint32_t flags = kStreamFlags) {
        DSBUFFERDESC desc;
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &f;
        std::unique_ptr<DirectSoundBuffer> b;
        EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b), DS_OK);
        return b;
    }

    // Writes `bytes` of `value` at `offset` through Lock/Unlock.
    static void Write(DirectSoundBuffer& b, uint32_t offset, uint32_t bytes, uint8_t value) {
        void* p1 = nullptr;
        void* p2 = nullptr;
        uint32_t n1 = 0, n2 = 0;
        ASSERT_EQ(b.Lock(offset, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memset(p1, value, n1);
        if (p2)
            std::memset(p2, value, n2);
        ASSERT_EQ(b.Unlock(p1, n1, p2, n2), DS_OK);
    }

    std::shared_ptr<VirtualSoundDevice> device_ = std::make_shared<VirtualSoundDevice>();
    std::unique_ptr<DirectSound> ds_;
};

TEST_F(SoundLayerTest, LockAcrossTheEndHandsOutTwoParts) {
    auto b = MakeBuffer(400, Pcm(8000, 1, 8));
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    ASSERT_EQ(b->Lock(300, 250, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(n2, 150u);
    EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 300);
    // A second lock before the unlock, and an unlock of other pointers, are refused.
    void* q1 = nullptr;
    void* q2 = nullptr;
    uint32_t m1 = 0, m2 = 0;
    EXPECT_NE(b->Lock(0, 10, &q1, &m1, &q2, &m2, 0), DS_OK);
    EXPECT_EQ(b->Unlock(p2, n1, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(b->Lock(0, 400, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 400u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    EXPECT_EQ(b->Lock(400, 1, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 401, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
}

TEST_F(SoundLayerTest, PlayingLoopsAndStopKeepsThePosition) {
    auto b = MakeBuffer(400, Pcm(8000, 1, 8));
    Write(*b, 0, 200, 1);
    Write(*b, 200, 200, 2);
    EXPECT_TRUE(device_->Advance(50).empty());  // not playing: nothing moves

    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    uint32_t status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);

    std::vector<uint8_t> heard = device_->Advance(350);
    ASSERT_EQ(heard.size(), 350u);
    EXPECT_EQ(heard[199], 1);
    EXPECT_EQ(heard[200], 2);
    uint32_t play = 0, write = 0;
    ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 350u);

    heard = device_->Advance(100);  // round the end
    EXPECT_EQ(heard.front(), 2);
    EXPECT_EQ(heard.back(), 1);
    ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 50u);

    ASSERT_EQ(b->Stop(), DS_OK);
    EXPECT_TRUE(device_->Advance(100).empty());
    ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 50u);
    ASSERT_EQ(b->SetCurrentPosition(390), DS_OK);
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);  // once, not looping: stops at the end
    EXPECT_EQ(device_->Advance(100).size(), 10u);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
}

TEST_F(SoundLayerTest, NotificationFiresWhenItsByteIsPlayed) {
    auto b = MakeBuffer(400, Pcm(8000, 1, 8));
    Event e0(false), e1(false), e2(false), e3(false);
    std::unique_ptr<DirectSoundNotify> notify;
    ASSERT_EQ(b->QueryInterface(&notify), DS_OK);
    const DSBPOSITIONNOTIFY positions[] = {{99, &e0}, {199, &e1}, {299, &e2}, {399, &e3}};
    ASSERT_EQ(notify->SetNotificationPositions(4, positions), DS_OK);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    device_->Advance(99);  // bytes 0..98: position 99 not yet played
    EXPECT_FALSE(e0.IsSet());
    device_->Advance(1);
    EXPECT_EQ(e0.Wait(0), WAIT_OBJECT_0);
    device_->Advance(250);  // 100..349 passes 199 and 299
    EXPECT_FALSE(e0.IsSet());
    EXPECT_EQ(e1.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(e2.Wait(0), WAIT_OBJECT_0);
    EXPECT_FALSE(e3.IsSet());
    device_->Advance(120);  // 350..399, 0..69: the last position, across the end
    EXPECT_EQ(e3.Wait(0), WAIT_OBJECT_0);
    EXPECT_FALSE(e0.IsSet());
    device_->Advance(800);  // two laps at once: every position once
    for (Event* e : {&e0, &e1, &e2, &e3}) EXPECT_EQ(e->Wait(0), WAIT_OBJECT_0);

    // Positions are set while stopped, inside the buffer, with an event.
    const DSBPOSITIONNOTIFY outside[] = {{400, &e0}};
    EXPECT_EQ(notify->SetNotificationPositions(1, outside), DSERR_INVALIDCALL);
    ASSERT_EQ(b->Stop(), DS_OK);
    EXPECT_EQ(notify->SetNotificationPositions(1, outside), DSERR_INVALIDPARAM);
    const DSBPOSITIONNOTIFY noEvent[] = {{10, nullptr}};
    EXPECT_EQ(notify->SetNotificationPositions(1, noEvent), DSERR_INVALIDPARAM);
}

TEST_F(SoundLayerTest, VolumeIsHundredthsOfADecibel) {
    EXPECT_FLOAT_EQ(SoundRing::GainOf(0), 1.0f);
    EXPECT_NEAR(SoundRing::GainOf(-600), 0.501f, 0.001f);
    EXPECT_EQ(SoundRing::GainOf(DSBVOLUME_MIN), 0.0f);
    // A user's level as a gain and back.
    EXPECT_EQ(SoundRing::VolumeOfGain(1.0f), DSBVOLUME_MAX);
    EXPECT_EQ(SoundRing::VolumeOfGain(0.5f), -602);
    EXPECT_EQ(SoundRing::VolumeOfGain(0.0f), DSBVOLUME_MIN);
    EXPECT_EQ(SoundRing::VolumeOfGain(1e-9f), DSBVOLUME_MIN);
    EXPECT_NEAR(SoundRing::GainOf(SoundRing::VolumeOfGain(0.05f)), 0.05f, 0.0005f);

    auto b = MakeBuffer(100, Pcm(8000, 1, 16));
    Write(*b, 0, 100, 0x55);
    ASSERT_EQ(b->SetVolume(DSBVOLUME_MIN), DS_OK);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(device_->Advance(10), std::vector<uint8_t>(10, 0));
    ASSERT_EQ(b->SetVolume(0), DS_OK);
    EXPECT_EQ(device_->Advance(10), std::vector<uint8_t>(10, 0x55));
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);

    // Volume needs DSBCAPS_CTRLVOLUME, notifications DSBCAPS_CTRLPOSITIONNOTIFY.
    auto plain = MakeBuffer(100, Pcm(8000, 1, 16), DSBCAPS_GETCURRENTPOSITION2);
    EXPECT_EQ(plain->SetVolume(0), DSERR_INVALIDCALL);
    std::unique_ptr<DirectSoundNotify> notify;
    EXPECT_EQ(plain->QueryInterface(&notify), DSERR_NOINTERFACE);
    EXPECT_EQ(notify, nullptr);
}

TEST_F(SoundLayerTest, LostBufferRefusesUntilRestored) {
    auto b = MakeBuffer(100, Pcm(8000, 2, 16));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    device_->LoseBuffers();
    uint32_t status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DSBSTATUS_BUFFERLOST);
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    EXPECT_EQ(b->Lock(0, 100, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    device_->FailOn(SoundOp::Restore, 2);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DS_OK);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(b->Lock(0, 100, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
}

TEST_F(SoundLayerTest, CreationChecksItsArguments) {
    DSBUFFERDESC primaryDesc;
    primaryDesc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    std::unique_ptr<DirectSoundBuffer> primary;
    ASSERT_EQ(ds_->CreateSoundBuffer(&primaryDesc, &primary), DS_OK);
    const WAVEFORMATEX cd = Pcm(44100, 2, 16);
    EXPECT_EQ(primary->SetFormat(&cd), DS_OK);
    void* p1 = nullptr;
    uint32_t n1 = 0;
    EXPECT_EQ(primary->Lock(0, 4, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDCALL);

    WAVEFORMATEX odd = Pcm(22050, 2, 16);
    odd.nBlockAlign = 3;
    DSBUFFERDESC desc;
    desc.dwFlags = kStreamFlags;
    desc.dwBufferBytes = 1000;
    desc.lpwfxFormat = &odd;
    std::unique_ptr<DirectSoundBuffer> b;
    EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b), DSERR_BADFORMAT);
    EXPECT_EQ(primary->SetFormat(&odd), DSERR_BADFORMAT);
    const WAVEFORMATEX ok = Pcm(22050, 1, 8);
    desc.lpwfxFormat = &ok;
    desc.dwBufferBytes = 0;
    EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b), DSERR_INVALIDPARAM);
    EXPECT_EQ(b, nullptr);
    // A byte rate that disagrees with the sample rate (the engine's stand-in format for a file
    // it cannot decode) plays; none at all does not.
    WAVEFORMATEX standIn = Pcm(11025, 2, 16);
    standIn.nAvgBytesPerSec = 88100;
    desc.lpwfxFormat = &standIn;
    desc.dwBufferBytes = 1000;
    EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b), DS_OK);
    standIn.nAvgBytesPerSec = 0;
    EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b), DSERR_BADFORMAT);

    device_->FailOn(SoundOp::CreateSecondary, 1);
    desc.lpwfxFormat = &ok;
    EXPECT_NE(ds_->CreateSoundBuffer(&desc, &b), DS_OK);
    EXPECT_EQ(ds_->CreateSoundBuffer(&desc, &b), DS_OK);
    EXPECT_EQ(device_->Buffers().size(), 1u);
    b.reset();  // releasing detaches it from the device
    EXPECT_TRUE(device_->Buffers().empty());
}

TEST_F(SoundLayerTest, StampedTakesRunThePlayCursorOnWithTheClockNeverPastTheTake) {
    // 8000 Hz mono 16 bits: 16 bytes a millisecond. 20 ms taken but unheard.
    std::chrono::steady_clock::time_point now{};
    device_->SetClock([&now] { return now; });
    device_->SetLatency(320);
    auto b = MakeBuffer(1600, Pcm(8000, 1, 16));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    const auto at = [&](std::chrono::microseconds later) {
        now += later;
        uint32_t play = 0, write = 0, unheard = 0;
        EXPECT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
        EXPECT_EQ(b->GetLatency(&unheard), DS_OK);
        return std::vector<uint32_t>{play, write, unheard};
    };
    using us = std::chrono::microseconds;
    device_->Advance(160);  // a 10 ms take: the cursor runs through it in 10 ms
    EXPECT_EQ(at(us(0)), (std::vector<uint32_t>{0, 160, 160}));
    EXPECT_EQ(at(us(2500)), (std::vector<uint32_t>{40, 160, 160}));
    EXPECT_EQ(at(us(2560)), (std::vector<uint32_t>{80, 160, 160}));     // whole samples only
    EXPECT_EQ(at(us(100000)), (std::vector<uint32_t>{160, 160, 160}));  // and stops at its end
    // A take that comes early (a device faster than the clock) moves the cursor on to the
    // end of the take before: it never falls more than a take behind.
    device_->Advance(160);
    EXPECT_EQ(at(us(5000)), (std::vector<uint32_t>{240, 320, 160}));
    device_->Advance(160);
    EXPECT_EQ(at(us(0)), (std::vector<uint32_t>{320, 480, 160}));
    EXPECT_EQ(at(us(15000)), (std::vector<uint32_t>{480, 480, 160}));
    // Round the end of the buffer, and once set the cursor is where it was put until a take.
    for (int i = 0; i < 8; ++i) {
        device_->Advance(160);
        now += us(10000);
    }
    EXPECT_EQ(at(us(0)), (std::vector<uint32_t>{160, 160, 160}));
    ASSERT_EQ(b->SetCurrentPosition(800), DS_OK);
    EXPECT_EQ(at(us(10000)), (std::vector<uint32_t>{800, 800, 320}));
    device_->Advance(160);
    EXPECT_EQ(at(us(5000)), (std::vector<uint32_t>{880, 960, 160}));
    // Taken but not yet stamped (SDL stamps once it has converted): the old stamp holds.
    std::vector<uint8_t> out(160);
    device_->FirstBuffer()->Consume(out.data(), 160, true);
    EXPECT_EQ(at(us(50000)), (std::vector<uint32_t>{960, 1120, 160}));
}

// Normal play at 44100 Hz stereo through a ring whose device takes 512 sample frames every
// 11.6 ms and holds two takes unheard, notified every 25 ms, all on a fake clock: every frame
// goes up once, in order, none skipped, within a fraction of a millisecond of its time.
TEST(FrameTimer, EveryFrameGoesUpOnceAtItsTimeFromAStampedCursor) {
    using Clock = std::chrono::steady_clock;
    using ns = std::chrono::nanoseconds;
    constexpr uint32_t kTake = 2048, kRate = 176400, kFps = 25;
    SoundRing ring(DefaultPrimaryFormat(), kRate);
    ring.Play(true);
    CFrameTimer timer;
    timer.Reset(kRate, kRate, 4, kFps);
    const Clock::time_point t0{}, end = t0 + std::chrono::seconds(3);
    const auto takeAt = [&](int k) { return t0 + ns(int64_t{k} * kTake * 1'000'000'000 / kRate); };
    std::vector<uint8_t> scratch(kTake);
    uint64_t clock = 0;  // refilled up to the play cursor, as the output counts
    uint32_t refilled = 0;
    const auto heardAt = [&](Clock::time_point now, bool refill) {
        const SoundRing::Cursors c = ring.CursorsAt(now);
        const uint64_t played = clock + (c.play + kRate - refilled) % kRate;
        if (refill) {
            clock = played;
            refilled = c.play;
        }
        return played - std::min<uint64_t>(played, c.unheard);
    };
    std::vector<std::pair<CFrameTimer::Frame, Clock::time_point>> up;  // first time up
    const auto show = [&](CFrameTimer::Frame frame, Clock::time_point now) {
        if (up.empty() || up.back().first < frame)
            up.emplace_back(frame, now);
    };
    int take = 0, notification = 1, fired = 0;
    std::optional<Clock::time_point> due;
    for (;;) {
        const Clock::time_point notifyAt = t0 + std::chrono::milliseconds(25 * notification);
        const Clock::time_point next = std::min({takeAt(take), notifyAt, due.value_or(end)});
        if (next >= end)
            break;
        if (due && next == *due) {
            const CFrameTimer::Step step = timer.Fired(heardAt(next, false), next);
            ++fired;
            EXPECT_FALSE(step.show && !(up.back().first < step.frame)) << "a frame shown twice";
            if (step.show)
                show(step.frame, next);
            due = step.next;
        } else if (next == takeAt(take)) {
            const SoundRing::Taken t = ring.Consume(scratch.data(), kTake, true);
            ring.StampTake(t.generation, 2 * kTake, next, true);
            ++take;
        } else {
            const uint64_t heard = heardAt(next, true);
            show(timer.FrameOf(heard), next);
            due = timer.Notified(heard, next).next;
            ++notification;
        }
    }
    // Heard = taken - two takes + the run since the stamp: frame n (byte 7056 n) is heard at
    // (7056 n + 2048) / 176400 s, 75 of them in 3 s. The first goes up at the first notification.
    ASSERT_EQ(up.size(), 75u);
    for (int32_t n = 0; n < 75; ++n) {
        ASSERT_EQ(up[n].first, (CFrameTimer::Frame{n / 25, n % 25})) << "skipped or out of order";
        const Clock::time_point exact =
            t0 + ns((int64_t{n} * 7056 + kTake) * 1'000'000'000 / kRate);
        const ns late = up[n].second - exact;
        EXPECT_TRUE(n == 0 || (late > -ns(1000) && late < ns(100000))) << n << ": " << late.count();
    }
    EXPECT_LE(fired, 3 * 25 + 10);  // about one wake a frame, not a busy loop

    // The device stops taking (paused): the cursor runs out its take and the timer disarms.
    ring.Stop();
    int looks = 0;
    for (due = timer.Notified(heardAt(end, true), end).next; due && looks < 10; ++looks)
        due = timer.Fired(heardAt(*due, false), *due).next;
    EXPECT_LE(looks, 2);
    EXPECT_FALSE(due.has_value());
}

TEST(SoundDeviceFactory, NoDeviceMeansNoDirectSound) {
    SetSoundDeviceFactory([] { return std::shared_ptr<SoundDevice>(); });
    std::unique_ptr<DirectSound> ds;
    EXPECT_EQ(DirectSoundCreate(&ds), DSERR_NODRIVER);
    EXPECT_EQ(ds, nullptr);
    SetSoundDeviceFactory({});
}

// ---- SDL on its headless drivers ----

// Plays a looping buffer until its last notification position has fired `laps` times.
bool PlayLaps(DirectSoundBuffer& b, uint32_t bytes, int laps) {
    Event lap(false);
    std::unique_ptr<DirectSoundNotify> notify;
    if (b.QueryInterface(&notify) != DS_OK)
        return false;
    const DSBPOSITIONNOTIFY end[] = {{bytes - 1, &lap}};
    if (notify->SetNotificationPositions(1, end) != DS_OK)
        return false;
    if (b.Play(0, 0, DSBPLAY_LOOPING) != DS_OK)
        return false;
    for (int i = 0; i < laps; ++i)
        if (lap.Wait(10000) != WAIT_OBJECT_0)
            return false;
    return b.Stop() == DS_OK;
}

TEST(SdlSoundDevice, AnOutputThatCannotOpenFallsBackToTheDummyDriver) {
    sound_test::SdlDriver driver("no-such-sound-driver");
    auto device = SdlSoundDevice::Open(DefaultPrimaryFormat());
    ASSERT_NE(device, nullptr) << "the picture must still play by the clock";
    EXPECT_NE(device->FallbackReason().find("no-such-sound-driver"), std::string::npos);
    SetSoundDeviceFactory([device] { return device; });
    std::unique_ptr<DirectSound> ds;
    ASSERT_EQ(DirectSoundCreate(&ds), DS_OK);
    // 8-bit mono at 11025 Hz: converted and resampled to the device format on the way.
    const WAVEFORMATEX f = Pcm(11025, 1, 8);
    DSBUFFERDESC desc;
    desc.dwFlags = kStreamFlags;
    desc.dwBufferBytes = 2205;  // 0.2 s
    desc.lpwfxFormat = &f;
    std::unique_ptr<DirectSoundBuffer> b;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b), DS_OK);
    EXPECT_TRUE(PlayLaps(*b, desc.dwBufferBytes, 3));
    b.reset();  // detaching waits for a callback under way, which counts what it took last
    EXPECT_GE(device->ConsumedBytes(), 3u * desc.dwBufferBytes);
    ds.reset();
    SetSoundDeviceFactory({});
    device.reset();
    // Once the stand-in is gone, the next device tries the named driver again.
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    sound_test::SdlDriver dummy("dummy");
    auto real = SdlSoundDevice::Open(DefaultPrimaryFormat());
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(real->FallbackReason(), "");
}

// SDL calls back for as long as its device is open, so a stopped buffer closes the output
// after the grace: no more callbacks. Play opens it again, and what is heard then goes on
// from the very byte the buffer stopped at.
TEST(SdlSoundDevice, AStoppedBufferLetsTheOutputGoAndPlayGoesOnWhereItStopped) {
    const std::string file =
        (std::filesystem::temp_directory_path() / ("tvq-idle-" + std::to_string(getpid()) + ".raw"))
            .string();
    sound_test::SdlDriver disk("disk", file, "2");  // 2 ms a callback: faster than real time
    auto device = SdlSoundDevice::Open(DefaultPrimaryFormat());
    if (!device)
        GTEST_SKIP() << "SDL has no disk audio driver here";
    SetSoundDeviceFactory([device] { return device; });
    std::unique_ptr<DirectSound> ds;
    ASSERT_EQ(DirectSoundCreate(&ds), DS_OK);
    const WAVEFORMATEX f = DefaultPrimaryFormat();  // reaches the file unchanged
    DSBUFFERDESC desc;
    desc.dwFlags = kStreamFlags;
    desc.dwBufferBytes = 44100;  // 11025 frames, each numbered 1, 2, ... in both channels
    desc.lpwfxFormat = &f;
    std::unique_ptr<DirectSoundBuffer> b;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &b), DS_OK);
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    ASSERT_EQ(b->Lock(0, desc.dwBufferBytes, &p1, &n1, &p2, &n2, 0), DS_OK);
    auto* samples = static_cast<int16_t*>(p1);
    for (uint32_t i = 0; i < n1 / 2; ++i) samples[i] = static_cast<int16_t>(i / 2 + 1);
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_TRUE(PlayLaps(*b, desc.dwBufferBytes, 2));
    uint32_t play = 0, stoppedAt = 0;
    ASSERT_EQ(b->GetCurrentPosition(&play, &stoppedAt), DS_OK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (device->IsOutputOpen() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(device->IsOutputOpen()) << "silence kept the output open";
    const uint64_t callbacks = device->Callbacks();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // 50 periods of the driver
    EXPECT_EQ(device->Callbacks(), callbacks);
    uint32_t status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status & DSBSTATUS_BUFFERLOST, 0u) << "an idle output is not a lost one";

    ASSERT_TRUE(PlayLaps(*b, desc.dwBufferBytes, 1));
    EXPECT_GT(device->Callbacks(), callbacks);
    b.reset();
    ds.reset();
    SetSoundDeviceFactory({});
    device.reset();  // closes the file
    // Opening the output again started the file anew: it holds what was heard after Play.
    const std::vector<int16_t> heard = sound_test::ReadSamples(file);
    std::filesystem::remove(file);
    size_t first = 0;
    while (first < heard.size() && heard[first] == 0) ++first;
    ASSERT_GT(heard.size(), first + 2000);
    for (size_t i = 0; i < 2000; ++i)
        ASSERT_EQ(heard[first + i], static_cast<int16_t>((stoppedAt / 4 + i / 2) % 11025 + 1))
            << "sample " << i << " after the restart";
}

}  // namespace
