// A full hand-over block: a name that does not fit is dropped whole, what waits is kept
// intact, and copies racing into the nearly full block never split, mix or lose an accepted
// name. Names go in as the second copy hands them over: CanWrite for the name, then Write of
// the name and its zero, each under its own hold of the mutex.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "SharedFileMapTestUtil.h"
#include "support/SharedFileMap.h"

namespace {

class FullBlockTest : public PrivateObjectFolder {
protected:
    // The header as another copy sees it.
    std::vector<int32_t> Header() {
        auto view = win::SharedMemory::Open(kShareBlockName);
        std::vector<int32_t> h(4, 0);
        if (view)
            std::memcpy(h.data(), view->Data(), 16);
        return h;
    }
};

// The second copy's side of the hand-over; true when the name went in.
bool HandOver(CSharedFileMap& block, const std::string& name) {
    const auto length = static_cast<int32_t>(name.size());
    if (!block.CanWrite(length))
        return false;
    return block.Write(name.c_str(), length + 1);
}

// The first copy's side: everything queued, split at the zeros.
std::vector<std::string> TakeAll(CSharedFileMap& block) {
    std::vector<std::string> names;
    const int32_t n = block.GetCount();
    if (n < 1)
        return names;
    std::vector<char> buffer(static_cast<size_t>(n) + 100, '\0');
    int32_t length = n;
    if (!block.Read(buffer.data(), length))
        return names;
    buffer[static_cast<size_t>(length)] = '\0';
    for (const char* p = buffer.data(); *p != '\0' && p < buffer.data() + length;
         p += std::strlen(p) + 1)
        names.emplace_back(p);
    return names;
}

std::string Name(int copy, int file) {
    std::string name = "/movies/" + std::to_string(copy) + "/" + std::to_string(file) + "-";
    name.resize(200, 'x');  // long names fill the 65520 bytes within a few hundred
    return name + ".tvq";
}

TEST_F(FullBlockTest, ANameThatDoesNotFitIsDroppedAndTheQueueIsKept) {
    CSharedFileMapCreator first;
    std::vector<std::string> accepted;
    for (int i = 0; HandOver(first, Name(0, i)); ++i) accepted.push_back(Name(0, i));
    const int32_t nameBytes = static_cast<int32_t>(Name(0, 0).size()) + 1;
    ASSERT_EQ(static_cast<int32_t>(accepted.size()), (65520 - 2) / nameBytes);
    const std::vector<int32_t> full = Header();
    EXPECT_EQ(full[2], static_cast<int32_t>(accepted.size()) * nameBytes);
    EXPECT_GE(full[2] + nameBytes, 65520 - 1);  // the next one would reach the limit

    // Refused names leave every header field and the queued bytes as they were, also a short
    // name that CanWrite would still allow but Write refuses.
    EXPECT_FALSE(HandOver(first, Name(1, 0)));
    const int32_t room = 65520 - full[2];
    const std::string tight(static_cast<size_t>(room - 2), 'y');
    EXPECT_TRUE(first.CanWrite(static_cast<int32_t>(tight.size())));
    EXPECT_FALSE(first.Write(tight.c_str(), static_cast<int32_t>(tight.size()) + 1));
    EXPECT_EQ(Header(), full);

    CSharedFileMapOpener dialog;
    EXPECT_EQ(TakeAll(dialog), accepted);
    EXPECT_EQ(Header()[2], 0);
    // Emptied, the block takes names again.
    ASSERT_TRUE(HandOver(first, Name(2, 0)));
    EXPECT_EQ(TakeAll(dialog), std::vector<std::string>{Name(2, 0)});
}

TEST_F(FullBlockTest, CopiesRacingIntoTheBlockNeverSplitOrLoseAnAcceptedName) {
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
                const char taken = HandOver(mine, Name(copy, file)) ? 1 : 0;
                const int16_t line[2] = {static_cast<int16_t>(copy | taken << 8),
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
    while (read(report[0], line, sizeof line) == sizeof line) {
        ++reports;
        if (line[0] >> 8)
            expected.insert(Name(line[0] & 0xFF, line[1]));
    }
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
