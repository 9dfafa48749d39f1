// The hand-over block: its queue's byte layout as another copy of the player sees it and its
// circular arithmetic; a full block drops a name whole and keeps what waits, also with copies
// racing into it; the start-up lock; and the block's life. Names go in as the second copy
// hands them over: CanWrite for the name, then Write of the name and its zero.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/WinTypes.h"
#include "support/SharedFileMap.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Header {
    int32_t readIndex, writeIndex, count, capacity;
    bool operator==(const Header&) const = default;
};

// Runs `body` in a child process and returns its exit code.
template <typename F>
int InChild(F body) {
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Bytes Pattern(size_t n, uint8_t start) {
    Bytes v(n);
    std::iota(v.begin(), v.end(), start);
    return v;
}

// Up to n bytes out of the queue; nothing when the read is refused.
std::optional<Bytes> Take(CSharedFileMap& block, int32_t n) {
    Bytes out(static_cast<size_t>(n));
    int32_t length = n;
    if (!block.Read(out.data(), length))
        return std::nullopt;
    out.resize(static_cast<size_t>(length));
    return out;
}

// The second copy's side of the hand-over; true when the name went in.
bool HandOver(CSharedFileMap& block, const std::string& name) {
    const auto length = static_cast<int32_t>(name.size());
    return block.CanWrite(length) && block.Write(name.c_str(), length + 1);
}

// The first copy's side: everything queued, split at the zeros.
std::vector<std::string> TakeAll(CSharedFileMap& block) {
    std::vector<std::string> names;
    const auto bytes = Take(block, std::max(block.GetCount(), 1));
    for (size_t at = 0; bytes && at < bytes->size(); at += names.back().size() + 1)
        names.emplace_back(
            reinterpret_cast<const char*>(bytes->data() + at),
            strnlen(reinterpret_cast<const char*>(bytes->data() + at), bytes->size() - at));
    return names;
}

std::string Name(int copy, int file) {
    std::string name = "/movies/" + std::to_string(copy) + "/" + std::to_string(file) + "-";
    name.resize(200, 'x');  // long names fill the 65520 bytes within a few hundred
    return name + ".tvq";
}

class SharedFileMapTest : public PrivateObjectFolder {
protected:
    // A second, independent view of the block: what another copy of the player would see.
    static Header ReadHeader() {
        auto view = win::SharedMemory::Open(kShareBlockName);
        Header h{};
        if (view)
            std::memcpy(&h, view->Data(), sizeof h);
        return h;
    }
    static Bytes DataAt(int32_t offset, int32_t n) {
        auto view = win::SharedMemory::Open(kShareBlockName);
        const auto* data = static_cast<const uint8_t*>(view->Data()) + kShareHeaderBytes + offset;
        return Bytes(data, data + n);
    }
};

TEST_F(SharedFileMapTest, BytesGoToTheStartAndReadingEmptiesTheQueue) {
    CSharedFileMapCreator creator;
    EXPECT_EQ(ReadHeader(), (Header{-1, -1, 0, 65520}));
    EXPECT_EQ(Take(creator, 4), std::nullopt);
    const auto bytes = Pattern(10, 1);
    ASSERT_TRUE(creator.Write(bytes.data(), 10));
    EXPECT_EQ(ReadHeader(), (Header{0, 9, 10, 65520}));
    EXPECT_EQ(DataAt(0, 10), bytes);
    EXPECT_EQ(Take(creator, 10), bytes);
    EXPECT_EQ(ReadHeader(), (Header{-1, -1, 0, 65520}));
    // An over-long read copies only what is queued.
    ASSERT_TRUE(creator.Write("abc", 3));
    EXPECT_EQ(Take(creator, 100), (Bytes{'a', 'b', 'c'}));
}

TEST_F(SharedFileMapTest, WriteAndReadWrapAroundTheEndInOrder) {
    CSharedFileMapCreator creator;
    const auto filler = Pattern(65000, 0);
    ASSERT_TRUE(creator.Write(filler.data(), 65000));
    ASSERT_TRUE(Take(creator, 64990));  // 10 bytes stay, at 64990..64999
    const auto tail = Pattern(600, 7);
    ASSERT_TRUE(creator.Write(tail.data(), 600));
    EXPECT_EQ(ReadHeader(), (Header{64990, 79, 610, 65520}));  // 520 bytes to the end, 80 at 0
    EXPECT_EQ(DataAt(0, 80), Bytes(tail.begin() + 520, tail.end()));
    Bytes expected(filler.end() - 10, filler.end());
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(Take(creator, 610), expected);
    EXPECT_EQ(ReadHeader().count, 0);
}

TEST_F(SharedFileMapTest, NegativeLengthsMissingBlocksAndADamagedHeaderAreRefused) {
    CSharedFileMapOpener opener;  // nobody created the block
    EXPECT_TRUE(opener.IsOpened());
    EXPECT_EQ(opener.GetCount(), 0);
    EXPECT_FALSE(opener.CanWrite(1));
    EXPECT_FALSE(opener.Write("x", 1));
    EXPECT_EQ(Take(opener, 4), std::nullopt);

    CSharedFileMapCreator creator;
    char buf[8] = {};
    int32_t len = -1;
    EXPECT_FALSE(creator.Write(buf, -5));
    ASSERT_TRUE(creator.Write("x", 1));
    EXPECT_FALSE(creator.Read(buf, len));
    static_cast<int32_t*>(win::SharedMemory::Open(kShareBlockName)->Data())[0] = 70000;
    EXPECT_EQ(Take(creator, 8), std::nullopt);  // read index past the data area
    EXPECT_FALSE(creator.Write("y", 1));
}

TEST_F(SharedFileMapTest, ASecondCopyAttachesAndTheBlockEndsWithItsLastUser) {
    {
        CSharedFileMapCreator first;
        ASSERT_TRUE(first.Write("a.tvq", 6));
        CSharedFileMapCreator second;
        EXPECT_EQ(second.GetCount(), 6);
        CSharedFileMapOpener opener;
        EXPECT_EQ(TakeAll(opener), std::vector<std::string>{"a.tvq"});
        EXPECT_EQ(first.GetCount(), 0);
        ASSERT_TRUE(first.Write("old", 4));
    }
    EXPECT_EQ(win::SharedMemory::Open(kShareBlockName), nullptr);
    // A copy that crashed leaves its block behind (_exit runs no destructor), but no names.
    EXPECT_EQ(InChild([] { return (new CSharedFileMapCreator())->Write("lost.tvq", 9) ? 0 : 1; }),
              0);
    CSharedFileMapCreator again;
    EXPECT_EQ(again.GetCount(), 0);
}

TEST_F(SharedFileMapTest, AFileBackedBlockKeepsItsQueue) {
    const std::string path = folder_ + "/block.bin";
    CSharedFileMapCreator creator;
    creator.Create(path.c_str(), "other", 4096);
    ASSERT_TRUE(creator.Write("abc", 3));
    EXPECT_EQ(creator.GetCount(), 3);
    CSharedFileMapCreator reopened;
    reopened.Create(path.c_str(), "other", 4096);
    EXPECT_EQ(reopened.GetCount(), 3);
}

TEST_F(SharedFileMapTest, TheStartUpLockSerialisesCopies) {
    CSharedFileMapCreator app;
    app.Lock();
    // The queue operations of the holder's own thread still work while it holds the lock.
    EXPECT_TRUE(app.Write("x", 2));
    EXPECT_EQ(InChild([] {
                  auto mine = win::NamedMutex::Open(kShareMutexName);
                  return mine && mine->TryWait() == win::WAIT_TIMEOUT ? 0 : 1;
              }),
              0);
    app.Unlock();
    EXPECT_EQ(InChild([] { return CSharedFileMapCreator().GetCount() == 2 ? 0 : 1; }), 0);
}

TEST_F(SharedFileMapTest, ANameThatDoesNotFitIsDroppedAndTheQueueIsKept) {
    CSharedFileMapCreator first;
    std::vector<std::string> accepted;
    for (int i = 0; HandOver(first, Name(0, i)); ++i) accepted.push_back(Name(0, i));
    const int32_t nameBytes = static_cast<int32_t>(Name(0, 0).size()) + 1;
    ASSERT_EQ(static_cast<int32_t>(accepted.size()), (65520 - 2) / nameBytes);
    const Header full = ReadHeader();
    EXPECT_EQ(full.count, static_cast<int32_t>(accepted.size()) * nameBytes);
    EXPECT_GE(full.count + nameBytes, 65520 - 1);  // the next one would reach the limit

    // Refused names leave every header field and the queued bytes as they were, also a short
    // name that CanWrite would still allow but Write refuses.
    EXPECT_FALSE(HandOver(first, Name(1, 0)));
    const std::string tight(static_cast<size_t>(65520 - full.count - 2), 'y');
    EXPECT_TRUE(first.CanWrite(static_cast<int32_t>(tight.size())));
    EXPECT_FALSE(first.Write(tight.c_str(), static_cast<int32_t>(tight.size()) + 1));
    EXPECT_EQ(ReadHeader(), full);

    CSharedFileMapOpener dialog;
    EXPECT_EQ(TakeAll(dialog), accepted);
    EXPECT_EQ(ReadHeader().count, 0);
    ASSERT_TRUE(HandOver(first, Name(2, 0)));  // emptied, the block takes names again
    EXPECT_EQ(TakeAll(dialog), std::vector<std::string>{Name(2, 0)});
}

TEST_F(SharedFileMapTest, CopiesRacingIntoTheBlockNeverSplitOrLoseAnAcceptedName) {
    CSharedFileMapCreator first;
    // Half full already, so the racing copies run it full.
    std::set<std::string> expected;
    for (int i = 0; i < 150; ++i) {
        ASSERT_TRUE(HandOver(first, Name(99, i)));
        expected.insert(Name(99, i));
    }
    constexpr int kCopies = 20, kNamesPerCopy = 10;
    int gate[2], report[2];
    ASSERT_EQ(pipe(gate), 0);
    ASSERT_EQ(pipe(report), 0);
    std::vector<pid_t> copies;
    for (int copy = 0; copy < kCopies; ++copy) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            close(report[0]);
            CSharedFileMapCreator mine;  // attaches: the queued names stay
            char go;
            if (read(gate[0], &go, 1) != 0)  // all start together when the gate closes
                _exit(2);
            for (int file = 0; file < kNamesPerCopy; ++file) {
                const int16_t line[2] = {
                    static_cast<int16_t>(copy | (HandOver(mine, Name(copy, file)) ? 1 << 8 : 0)),
                    static_cast<int16_t>(file)};
                if (write(report[1], line, sizeof line) != sizeof line)
                    _exit(3);
            }
            _exit(0);
        }
        copies.push_back(pid);
    }
    close(gate[0]);
    close(report[1]);
    close(gate[1]);  // go
    int16_t line[2];
    int reports = 0;
    for (; read(report[0], line, sizeof line) == sizeof line; ++reports)
        if (line[0] >> 8)
            expected.insert(Name(line[0] & 0xFF, line[1]));
    close(report[0]);
    for (pid_t pid : copies) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ASSERT_EQ(reports, kCopies * kNamesPerCopy);
    EXPECT_LT(expected.size(), 150u + kCopies * kNamesPerCopy);  // some were dropped
    EXPECT_GT(expected.size(), 150u);                            // some went in

    CSharedFileMapOpener dialog;
    const std::vector<std::string> taken = TakeAll(dialog);
    EXPECT_EQ(std::set<std::string>(taken.begin(), taken.end()), expected);
    EXPECT_EQ(taken.size(), expected.size());  // none twice
}

}  // namespace
