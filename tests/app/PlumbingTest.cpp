// The Qt stand-ins for window messages, message boxes, the open dialog's filter and the
// channel between copies of the program; the property box's lines.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

#include "AppTestSupport.h"
#include "app/CustomFileDialog.h"
#include "app/InstanceChannel.h"
#include "app/MoviePropertyDlg.h"
#include "app/PlayerApp.h"
#include "app/QtMessageBoxService.h"
#include "app/QtMessageTarget.h"
#include "platform/WinTypes.h"

namespace {

class Receiver : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != WinMessageEvent::EventType())
            return QObject::event(e);
        const auto* m = static_cast<WinMessageEvent*>(e);
        got.push_back({m->message, m->wParam, m->lParam});
        onThread = QThread::currentThread() == thread();
        return true;
    }
    std::vector<win::RecordingMessageTarget::Record> got;
    bool onThread = false;
};

TEST(QtMessageTarget, MessagesFromAWorkerAreHandledOnTheWindowsThreadInOrder) {
    Receiver receiver;
    CQtMessageTarget target(&receiver);
    std::thread worker([&] {
        target.PostMessage(1027, 1, 1);
        target.PostMessage(1026, 12, 0);
    });
    worker.join();
    EXPECT_TRUE(receiver.got.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(receiver.got.size(), 2u);
    EXPECT_EQ(receiver.got[0].message, 1027u);
    EXPECT_EQ(receiver.got[1].wParam, 12u);
    EXPECT_TRUE(receiver.onThread);

    target.Detach();
    EXPECT_FALSE(target.PostMessage(1025, 0, 0));
}

TEST(QtMessageBoxService, AWorkerDoesNotWaitForTheUser) {
    CQtMessageBoxService service;
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = service.Show("text", "Error", win::MB_ICONERROR); });
    worker.join();  // returns although no one has closed the box
    EXPECT_EQ(answer.load(), win::IDOK);
    // The box waits on the user-interface thread; drop it unseen.
    QCoreApplication::removePostedEvents(QCoreApplication::instance());
}

TEST(CustomFileDialog, WindowsFiltersBecomeNameFilters) {
    EXPECT_EQ(CCustomFileDialog::TranslateFilter("tvq file(*.tvq)|*.tvq|"),
              QStringList{"tvq file(*.tvq)"});
    EXPECT_EQ(CCustomFileDialog::TranslateFilter("Movies|*.tvq;*.avi|All|*.*|"),
              (QStringList{"Movies (*.tvq *.avi)", "All (*.*)"}));
    EXPECT_TRUE(CCustomFileDialog::TranslateFilter(nullptr).isEmpty());
}

TEST(CustomFileDialog, SelectionsBeyondTheNameBufferAreRefused) {
    std::vector<std::string> many;
    for (int i = 0; i < 1000; ++i) many.push_back("/movies/clip" + std::to_string(i) + ".tvq");
    EXPECT_FALSE(CCustomFileDialog::FitsBuffer(many, CCustomFileDialog::kMultiSelectBufferChars));
    many.resize(100);
    EXPECT_TRUE(CCustomFileDialog::FitsBuffer(many, CCustomFileDialog::kMultiSelectBufferChars));
}

// Runs a blocking sender on a worker while this thread serves the channel's events.
template <typename F>
auto WhileServing(F sender) {
    std::atomic<bool> done{false};
    decltype(sender()) result{};
    std::thread worker([&] {
        result = sender();
        done = true;
    });
    const QDeadlineTimer deadline(20000);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    return result;
}

TEST(InstanceChannel, ASecondCopyFindsTheWindowByItsTitleAndWaitsForTheAnswer) {
    std::vector<uint32_t> handled;
    CInstanceChannel channel([&](uint32_t message, uintptr_t, intptr_t) -> intptr_t {
        handled.push_back(message);
        return 7;
    });
    EXPECT_FALSE(CInstanceChannel::FindWindow("Test Player"));
    ASSERT_TRUE(channel.Listen("Test Player"));
    EXPECT_TRUE(CInstanceChannel::FindWindow("Test Player"));
    EXPECT_FALSE(CInstanceChannel::FindWindow("Another Title"));

    intptr_t answer = 0;
    const bool sent = WhileServing(
        [&] { return CInstanceChannel::SendMessage("Test Player", 1038, 0, 0, &answer); });
    EXPECT_TRUE(sent);
    EXPECT_EQ(answer, 7);
    EXPECT_EQ(handled, std::vector<uint32_t>{1038});

    channel.Close();
    EXPECT_FALSE(CInstanceChannel::FindWindow("Test Player"));
    EXPECT_FALSE(CInstanceChannel::SendMessage("Test Player", 1038, 0, 0));
}

TEST(PlayerApp, EveryCommandLineFileIsKeptInOrderAndMadeAbsolute) {
    EXPECT_TRUE(CPlayerApp::ParseCommandLine({"tvqplayer"}).empty());
    const std::vector<std::string> files =
        CPlayerApp::ParseCommandLine({"tvqplayer", "/m/a.tvq", "-x", "b.tvq", "/m/c.tvq"});
    EXPECT_EQ(files, (std::vector<std::string>{
                         "/m/a.tvq", std::filesystem::absolute("b.tvq").string(), "/m/c.tvq"}));
}

// Connects without waiting until the listener's queue is full; the descriptors keep the
// connections waiting. Empty when the queue never filled.
std::vector<int> FillConnectionQueue(const QString& path) {
    std::vector<int> sockets;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    if (bytes.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return {};
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    for (int i = 0; i < 100000; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            sockets.push_back(fd);
            continue;
        }
        const bool full = errno == EAGAIN;
        close(fd);
        if (full)
            return sockets;
        break;
    }
    for (int fd : sockets) close(fd);
    return {};
}

// A running copy too busy to take connections (its thread waits for the start-up lock while
// many copies start at once) is still found by its title: the copies must not take it for
// no window and open a second one over its socket.
TEST(InstanceChannel, AWindowWhoseConnectionQueueIsFullIsStillFound) {
    CInstanceChannel channel([](uint32_t, uintptr_t, intptr_t) -> intptr_t { return 1; });
    ASSERT_TRUE(channel.Listen("Busy Player"));
    // No events are processed here, so nothing takes the connections.
    const std::vector<int> waiting =
        FillConnectionQueue(CInstanceChannel::ServerName("Busy Player"));
    ASSERT_FALSE(waiting.empty());
    EXPECT_TRUE(CInstanceChannel::FindWindow("Busy Player"));
    EXPECT_FALSE(CInstanceChannel::FindWindow("Idle Player"));
    for (int fd : waiting) close(fd);
    channel.Close();
    EXPECT_FALSE(CInstanceChannel::FindWindow("Busy Player"));
}

CMoviePropertyDlg::MovieFacts SmallMovie() {
    return {.framesPerSecond = 12,
            .width = 160,
            .height = 120,
            .samplesPerSecond = 22050,
            .channels = 1,
            .lengthSeconds = 75};
}

TEST(MoviePropertyDlg, LabelsArePaddedToThirtyColumnsBeforeTheValues) {
    const auto lines = CMoviePropertyDlg::BuildLines(SmallMovie(), 0);
    EXPECT_EQ(lines[0], "Vedio frames per second:       12");
    EXPECT_EQ(lines[1], "Video size:                    160x120");
    EXPECT_EQ(lines[2], "Audio sample rate:             22050,1 channel");
    EXPECT_EQ(lines[3], "Movie time:                    1:15");
    for (const std::string& line : lines) EXPECT_EQ(line[30], ' ') << line;
    // The language file's frame rate wins.
    EXPECT_EQ(CMoviePropertyDlg::BuildLines(SmallMovie(), 25)[0],
              "Vedio frames per second:       25");
}

}  // namespace
