// The Qt stand-ins for window messages, message boxes, the open dialog's filter and the
// channel between copies of the program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <thread>

#include "AppTestSupport.h"
#include "app/CustomFileDialog.h"
#include "app/InstanceChannel.h"
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
    CCustomFileDialog dialog(
        true, CCustomFileDialog::OFN_ALLOWMULTISELECT | CCustomFileDialog::OFN_EXPLORER,
        "tvq file(*.tvq)|*.tvq|", nullptr, nullptr, nullptr);
    EXPECT_TRUE(dialog.IsMultiSelect());
    EXPECT_TRUE(dialog.IsExplorerStyle());
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

TEST(InstanceChannel, TheSocketLivesInTheUsersPrivateFolder) {
    const QString name = CInstanceChannel::ServerName("TVQ Player");
    EXPECT_TRUE(name.startsWith(QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"))));
    EXPECT_NE(name, CInstanceChannel::ServerName("TVQ Player 2"));
}

TEST(PlayerApp, EveryCommandLineFileIsKeptInOrderAndMadeAbsolute) {
    EXPECT_TRUE(CPlayerApp::ParseCommandLine({"tvqplayer"}).empty());
    const std::vector<std::string> files =
        CPlayerApp::ParseCommandLine({"tvqplayer", "/m/a.tvq", "-x", "b.tvq", "/m/c.tvq"});
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], "/m/a.tvq");
    EXPECT_EQ(files[1].front(), '/');
    EXPECT_EQ(files[1].substr(files[1].size() - 6), "/b.tvq");
    EXPECT_EQ(files[2], "/m/c.tvq");
}

}  // namespace
