#include "app/InstanceChannel.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QLocalSocket>
#include <QPointer>

#include "platform/NamedObjects.h"

namespace {

// One request line: "<message> <wParam> <lParam>\n"; one answer line: "<result>\n".
constexpr int kMaxLineBytes = 128;

QByteArray RequestLine(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return QByteArray::number(message) + ' ' + QByteArray::number(qulonglong(wParam)) + ' ' +
           QByteArray::number(qlonglong(lParam)) + '\n';
}

bool ParseRequest(const QByteArray& line, uint32_t* message, uintptr_t* wParam, intptr_t* lParam) {
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 3)
        return false;
    bool ok1 = false, ok2 = false, ok3 = false;
    *message = parts[0].toUInt(&ok1);
    *wParam = static_cast<uintptr_t>(parts[1].toULongLong(&ok2));
    *lParam = static_cast<intptr_t>(parts[2].toLongLong(&ok3));
    return ok1 && ok2 && ok3;
}

}  // namespace

QString CInstanceChannel::ServerName(const std::string& title) {
    const std::string folder = win::NamedObjectFolder();
    if (folder.empty())
        return {};
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(title), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QString::fromStdString(folder) + "tvqplayer-window-" + QString::fromLatin1(hash);
}

bool CInstanceChannel::FindWindow(const std::string& title) {
    const QString name = ServerName(title);
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    // A local connection is made, or refused, at once; one left connecting has found a window
    // whose queue of waiting connections is full (many copies starting together, while the
    // window's thread waits for the start-up lock one of them holds). That is a window all
    // the same, and waiting here for it to take the connection would hold the lock it needs.
    const bool found = socket.state() == QLocalSocket::ConnectedState ||
                       socket.state() == QLocalSocket::ConnectingState;
    socket.abort();
    return found;
}

bool CInstanceChannel::SendMessage(const std::string& title, uint32_t message, uintptr_t wParam,
                                   intptr_t lParam, intptr_t* result) {
    const QString name = ServerName(title);
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    // A busy window is waited for as long as for its answer: the sender has already queued
    // its file name and the message is what makes the window take it.
    if (!socket.waitForConnected(kAnswerTimeoutMs))
        return false;
    socket.write(RequestLine(message, wParam, lParam));
    if (!socket.waitForBytesWritten(kConnectTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs))
            return false;
    }
    bool ok = false;
    const qlonglong answer = socket.readLine(kMaxLineBytes).trimmed().toLongLong(&ok);
    if (result)
        *result = static_cast<intptr_t>(answer);
    socket.disconnectFromServer();
    return ok;
}

CInstanceChannel::CInstanceChannel(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &CInstanceChannel::OnNewConnection);
}

CInstanceChannel::~CInstanceChannel() {
    Close();
}

bool CInstanceChannel::Listen(const std::string& title) {
    Close();
    const QString name = ServerName(title);
    if (name.isEmpty())
        return false;
    // Only reached when no copy answered under this title: a socket file left is stale.
    QLocalServer::removeServer(name);
    return m_server.listen(name);
}

void CInstanceChannel::Close() {
    if (m_server.isListening())
        m_server.close();
}

void CInstanceChannel::OnNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxLineBytes)
                    socket->abort();
                return;
            }
            uint32_t message = 0;
            uintptr_t wParam = 0;
            intptr_t lParam = 0;
            if (!ParseRequest(socket->readLine(kMaxLineBytes), &message, &wParam, &lParam)) {
                socket->abort();
                return;
            }
            // The handler may run a nested event loop; the socket may be gone afterwards.
            QPointer<QLocalSocket> alive(socket);
            const intptr_t result = m_handler ? m_handler(message, wParam, lParam) : 0;
            if (!alive)
                return;
            socket->write(QByteArray::number(qlonglong(result)) + '\n');
            socket->flush();
        });
    }
}
