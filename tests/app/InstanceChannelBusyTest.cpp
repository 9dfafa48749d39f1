// A running copy too busy to take connections (its thread waits for the start-up lock while
// many copies start at once) is still found by its title: the copies must not take it for
// no window and open a second one over its socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/InstanceChannel.h"

namespace {

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

}  // namespace
