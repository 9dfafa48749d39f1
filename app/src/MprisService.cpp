#include "app/MprisService.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/PlayerDlg.h"
#include "engine/Messages.h"
#include "skin/SkinButton.h"

namespace {

constexpr qlonglong kMicroseconds = 1000000;
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

// 1 in normal play and while stopped; the factor, negated backward, in fast play.
double RateOf(const PlaybackState& state) {
    if (state.status == PlayStatus::Stopped || state.speed.mode == SpeedMode::Normal)
        return 1.0;
    const double factor = SpeedFactor(state.speed.speed);
    return state.speed.mode == SpeedMode::Backward ? -factor : factor;
}

}  // namespace

// org.mpris.MediaPlayer2: who the player is.
class CMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    explicit CMprisRootAdaptor(CMprisService* service)
        : QDBusAbstractAdaptor(service), m_service(service) {}
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("TVQ Player"); }
    QString DesktopEntry() const { return QStringLiteral("tvqplayer"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const { return {QStringLiteral("application/x-tvq")}; }

public slots:
    void Raise() { m_service->Raise(); }
    void Quit() { m_service->Quit(); }

private:
    CMprisService* m_service;
};

// org.mpris.MediaPlayer2.Player: the transport. Volume is the dialog's level (its mute is
// kept apart). Rate carries the speed commands: 1, 2, 4 and 8 forward, the same negated
// backward.
class CMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ MinimumRate)
    Q_PROPERTY(double MaximumRate READ MaximumRate)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(bool CanControl READ CanControl)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)

public:
    explicit CMprisPlayerAdaptor(CMprisService* service)
        : QDBusAbstractAdaptor(service), m_service(service) {}
    QString PlaybackStatus() const { return m_service->PlaybackStatus(); }
    QVariantMap Metadata() const { return m_service->Metadata(); }
    qlonglong Position() const { return m_service->Position(); }
    double Rate() const { return m_service->Rate(); }
    void SetRate(double rate) { m_service->SetRate(rate); }
    double MinimumRate() const { return -CMprisService::kFastestRate; }
    double MaximumRate() const { return CMprisService::kFastestRate; }
    double Volume() const { return m_service->Volume(); }
    void SetVolume(double volume) { m_service->SetVolume(volume); }
    bool CanControl() const { return m_service->CanControl(); }
    bool CanPlay() const { return m_service->CanPlay(); }
    bool CanPause() const { return m_service->CanPause(); }
    bool CanSeek() const { return m_service->CanSeek(); }
    bool CanGoNext() const { return m_service->CanGoNext(); }
    bool CanGoPrevious() const { return m_service->CanGoPrevious(); }

public slots:
    void PlayPause() { m_service->PlayPause(); }
    void Play() { m_service->Play(); }
    void Pause() { m_service->Pause(); }
    void Stop() { m_service->Stop(); }
    void Next() { m_service->Next(); }
    void Previous() { m_service->Previous(); }
    void Seek(qlonglong offset) { m_service->Seek(offset); }
    void SetPosition(const QDBusObjectPath& track, qlonglong position) {
        m_service->SetPosition(track.path(), position);
    }
    void OpenUri(const QString&) {}

signals:
    void Seeked(qlonglong position);

private:
    CMprisService* m_service;
};

CMprisService::CMprisService(CPlayerDlg& dialog, QObject* parent)
    : QObject(parent), m_dialog(dialog), m_state(dialog.State()) {
    new CMprisRootAdaptor(this);
    new CMprisPlayerAdaptor(this);
    qRegisterMetaType<PlaybackState>();
    // Queued: a command run from a bus call answers first, and the state it leads to goes out
    // after it, once.
    connect(
        &dialog, &CPlayerDlg::StateChanged, this,
        [this](const PlaybackState& state) {
            m_state = state;
            PublishChanges();
        },
        Qt::QueuedConnection);
    connect(&dialog, &CPlayerDlg::Seeked, this, [this](int second) { SendSeeked(second); });
}

CMprisService::~CMprisService() {
    if (!m_registered)
        return;
    m_bus.unregisterObject(kObjectPath);
    m_bus.unregisterService(kServiceName);
}

bool CMprisService::Register() {
    return Register(QDBusConnection::sessionBus());
}

bool CMprisService::Register(const QDBusConnection& connection) {
    QDBusConnection bus = connection;
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors))
        return false;
    if (!bus.registerService(kServiceName)) {
        bus.unregisterObject(kObjectPath);
        return false;
    }
    m_bus = bus;
    m_registered = true;
    PublishChanges();
    return true;
}

QString CMprisService::PlaybackStatus() const {
    switch (m_state.status) {
        case PlayStatus::Stopped:
            return QStringLiteral("Stopped");
        case PlayStatus::Paused:
            return QStringLiteral("Paused");
        case PlayStatus::Switching:
        case PlayStatus::Playing:
            break;
    }
    return QStringLiteral("Playing");
}

QVariantMap CMprisService::Metadata() const {
    const QString file = QString::fromStdString(m_state.file);
    if (file.isEmpty())
        return {
            {QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack"))}};
    // A track id stands for the file: the same path always gives the same id.
    const QString id = QStringLiteral("/org/tvqplayer/track/") + QString::number(qHash(file), 16);
    const qlonglong length = m_state.lengthSeconds;
    return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(id))},
            {QStringLiteral("mpris:length"), length * kMicroseconds},
            {QStringLiteral("xesam:title"), QFileInfo(file).completeBaseName()},
            {QStringLiteral("xesam:url"), QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)}};
}

qlonglong CMprisService::Position() const {
    // Finer than the reported whole seconds: the player's clock itself.
    constexpr qlonglong kMicrosecondsPerMs = 1000;
    return m_state.status != PlayStatus::Stopped
               ? m_dialog.Player().GetPositionMs() * kMicrosecondsPerMs
               : 0;
}

double CMprisService::Volume() const {
    return m_state.volumePercent / static_cast<double>(CPlaybackPrefs::kFullPercent);
}

void CMprisService::SetVolume(double volume) {
    // NaN and values beyond full (which MPRIS allows) become the nearest level there is.
    const double level = std::isnan(volume) ? 0.0 : std::clamp(volume, 0.0, 1.0);
    m_dialog.SetVolumePercent(static_cast<int>(std::lround(level * CPlaybackPrefs::kFullPercent)));
}

bool CMprisService::CanPlay() const {
    return m_state.status != PlayStatus::Stopped || m_state.listEntries > 0;
}

bool CMprisService::CanPause() const {
    return m_state.status != PlayStatus::Stopped;
}

bool CMprisService::CanSeek() const {
    return CanPause();
}

bool CMprisService::CanGoNext() const {
    return CanPause();
}

bool CMprisService::CanGoPrevious() const {
    return CanPause();
}

void CMprisService::PlayPause() {
    if (m_dialog.IsPlaying())
        m_dialog.OnPause();
    else
        Play();
}

void CMprisService::Play() {
    if (!m_dialog.IsPlaying()) {
        if (m_dialog.Playlist().RowCount() > 0)
            m_dialog.OnPlay();
    } else if (m_dialog.IsPaused()) {
        m_dialog.OnPause();
    }
}

void CMprisService::Pause() {
    if (m_dialog.IsPlaying() && !m_dialog.IsPaused())
        m_dialog.OnPause();
}

void CMprisService::Stop() {
    if (m_dialog.IsPlaying())
        m_dialog.OnStop();
}

void CMprisService::Next() {
    m_dialog.OnNext();
}

void CMprisService::Previous() {
    m_dialog.OnPrevious();
}

void CMprisService::Seek(qlonglong offsetUs) {
    if (!m_dialog.IsPlaying())
        return;
    constexpr qlonglong kMsPerSecond = 1000;
    const qlonglong second =
        m_dialog.Player().GetPositionMs() / kMsPerSecond + offsetUs / kMicroseconds;
    m_dialog.SeekToSecond(static_cast<int>(std::clamp<qlonglong>(second, 0, INT32_MAX)));
}

void CMprisService::SetPosition(const QString& trackId, qlonglong positionUs) {
    // Only for the track playing now, and only inside it, as MPRIS asks.
    const QVariantMap now = Metadata();
    if (trackId != now.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path())
        return;
    if (positionUs < 0 || positionUs > now.value(QStringLiteral("mpris:length")).toLongLong())
        return;
    m_dialog.SeekToSecond(static_cast<int>(positionUs / kMicroseconds));
}

double CMprisService::Rate() const {
    return RateOf(m_state);
}

void CMprisService::SetRate(double rate) {
    // Only the factors the speed commands have; MPRIS players ignore a rate they cannot play.
    const double factor = std::abs(rate);
    const SpeedDirection direction = rate > 0 ? SpeedDirection::Forward : SpeedDirection::Backward;
    bool known = false;
    SpeedCommand command;
    for (const Speed speed : {Speed::X1, Speed::X2, Speed::X4, Speed::X8}) {
        if (factor == static_cast<double>(SpeedFactor(speed))) {
            command = {speed, direction};
            known = true;
        }
    }
    if (!known || !m_dialog.IsPlaying())
        return;
    // The pace in force now, not as last published: commands may come faster than that.
    const double now = RateOf(m_dialog.State());
    if (rate == now)
        return;
    if (direction == SpeedDirection::Backward && command.speed == Speed::X1 && now < 0) {
        // Backward 1x toggles: from another backward speed it would return to normal play,
        // so go through normal play first.
        m_dialog.OnWinMessage(SpeedCommand{Speed::X1, SpeedDirection::Forward}.Message(), 0, 0);
    }
    m_dialog.OnWinMessage(command.Message(), 0, 0);
}

void CMprisService::SendSeeked(int second) {
    if (!m_registered)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        kObjectPath, QString::fromLatin1(kPlayerInterface), QStringLiteral("Seeked"));
    signal << static_cast<qlonglong>(second) * kMicroseconds;
    m_bus.send(signal);
}

void CMprisService::Raise() {
    m_dialog.show();
    m_dialog.raise();
    m_dialog.activateWindow();
}

void CMprisService::Quit() {
    m_dialog.close();
}

QStringList CMprisService::PublishChanges() {
    const QVariantMap now = {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
                             {QStringLiteral("Metadata"), Metadata()},
                             {QStringLiteral("CanPlay"), CanPlay()},
                             {QStringLiteral("CanPause"), CanPause()},
                             {QStringLiteral("CanSeek"), CanSeek()},
                             {QStringLiteral("CanGoNext"), CanGoNext()},
                             {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
                             {QStringLiteral("Rate"), Rate()},
                             {QStringLiteral("Volume"), Volume()}};
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (!m_sent.contains(it.key()) || m_sent.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    m_sent = now;
    if (changed.isEmpty())
        return {};
    if (m_registered) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"));
        signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
        m_bus.send(signal);
    }
    emit Announced(changed.keys());
    return changed.keys();
}

#include "MprisService.moc"
