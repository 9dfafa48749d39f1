#pragma once
// How copies of the player find each other: the running copy's main window listens on a
// local socket whose name is derived from the window title, in the user's private object
// folder. A second copy "finds the window" by connecting to it and "sends a message" by
// writing one line and waiting for the answer, as SendMessage waits for the window procedure.
// Another user cannot reach the socket (the folder is the user's own).
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class CInstanceChannel : public QObject {
    Q_OBJECT

public:
    // Handles one message on the user-interface thread and gives the result to send back.
    using Handler = std::function<intptr_t(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

    // How long a sender waits for the connection and for the answer.
    static constexpr int kConnectTimeoutMs = 2000;
    static constexpr int kAnswerTimeoutMs = 10000;

    // The socket path of the window titled `title`; empty without an object folder.
    static QString ServerName(const std::string& title);
    // FindWindowA: true when a running copy's window with that title answers.
    static bool FindWindow(const std::string& title);
    // SendMessage: true when the window took the message; its result goes to *result.
    static bool SendMessage(const std::string& title, uint32_t message, uintptr_t wParam,
                            intptr_t lParam, intptr_t* result = nullptr);

    explicit CInstanceChannel(Handler handler, QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // Starts answering under the title (a stale socket of a dead copy is replaced).
    bool Listen(const std::string& title);
    void Close();
    bool IsListening() const { return m_server.isListening(); }

private:
    void OnNewConnection();

    Handler m_handler;
    QLocalServer m_server;
};
