#pragma once
// The player on the session bus as org.mpris.MediaPlayer2.tvqplayer (MPRIS 2), so that media
// keys, the desktop's media widget and playerctl drive it. Every method runs the command the
// dialog's buttons and keys run. The properties are read from the state the dialog last
// published (the position from the player's clock); what changed in it goes out as
// PropertiesChanged, and Seeked when a seek is accepted. Without a session bus nothing is
// registered and the program runs as before.
//
// Threads: user-interface thread only.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "engine/PlaybackState.h"

class CPlayerDlg;

class CMprisService : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kServiceName = "org.mpris.MediaPlayer2.tvqplayer";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr double kFastestRate = 8.0;

    explicit CMprisService(CPlayerDlg& dialog, QObject* parent = nullptr);
    ~CMprisService() override;

    // Takes the name on the session bus (or on `bus`); false without a bus or when the name
    // is taken.
    bool Register();
    bool Register(const QDBusConnection& bus);

    // The state as the bus reads it.
    QString PlaybackStatus() const;  // "Playing", "Paused" or "Stopped"
    QVariantMap Metadata() const;    // mpris:trackid, mpris:length (µs), xesam:title, xesam:url
    qlonglong Position() const;      // µs, from the player
    double Volume() const;           // the dialog's level, 0 .. 1
    bool CanControl() const { return true; }
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    double Rate() const;  // the factor in fast play, negated backward; else 1

    // The bus's commands.
    void PlayPause();
    void Play();
    void Pause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offsetUs);
    void SetPosition(const QString& trackId, qlonglong positionUs);
    void SetRate(double rate);      // +-1, 2, 4, 8: the forward or backward speed command
    void SetVolume(double volume);  // clamped to 0 .. 1, in whole percent
    void Raise();
    void Quit();

    // Sends PropertiesChanged for what differs from what was sent last; returns the names.
    QStringList PublishChanges();

signals:
    // The names PublishChanges announced, whoever asked for it.
    void Announced(const QStringList& names);

private:
    CPlayerDlg& m_dialog;
    QDBusConnection m_bus{QString()};  // the bus registered on; unconnected until then
    bool m_registered = false;
    PlaybackState m_state;  // as the dialog last published it
    QVariantMap m_sent;     // the player properties as last sent

    void SendSeeked(int second);
};
