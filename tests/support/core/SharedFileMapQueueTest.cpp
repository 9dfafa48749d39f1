// The hand-over queue: its byte layout as another process sees it and its circular arithmetic.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "SharedFileMapTestUtil.h"
#include "support/SharedFileMap.h"

namespace {

struct Header {
    int32_t readIndex, writeIndex, count, capacity;
};

// A second, independent view of the block: what another copy of the player would see.
class QueueTest : public PrivateObjectFolder {
protected:
    Header ReadHeader() {
        auto view = win::SharedMemory::Open(kShareBlockName);
        EXPECT_NE(view, nullptr);
        Header h{};
        if (view)
            std::memcpy(&h, view->Data(), sizeof h);
        return h;
    }
    std::vector<uint8_t> DataAt(int32_t offset, int32_t n) {
        auto view = win::SharedMemory::Open(kShareBlockName);
        const auto* data = static_cast<const uint8_t*>(view->Data()) + kShareHeaderBytes;
        return std::vector<uint8_t>(data + offset, data + offset + n);
    }
};

std::vector<uint8_t> Pattern(size_t n, uint8_t start) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), start);
    return v;
}

TEST_F(QueueTest, FreshBlockIsEmptyWithFullCapacity) {
    CSharedFileMapCreator creator;
    const Header h = ReadHeader();
    EXPECT_EQ(h.readIndex, -1);
    EXPECT_EQ(h.writeIndex, -1);
    EXPECT_EQ(h.count, 0);
    EXPECT_EQ(h.capacity, 65520);
    EXPECT_EQ(creator.GetCount(), 0);
    char buf[4];
    int32_t len = 4;
    EXPECT_FALSE(creator.Read(buf, len));
}

TEST_F(QueueTest, TenBytesGoToTheStartAndReadingEmptiesTheQueue) {
    CSharedFileMapCreator creator;
    const auto bytes = Pattern(10, 1);
    ASSERT_TRUE(creator.Write(bytes.data(), 10));
    Header h = ReadHeader();
    EXPECT_EQ(h.writeIndex, 9);
    EXPECT_EQ(h.readIndex, 0);
    EXPECT_EQ(h.count, 10);
    EXPECT_EQ(DataAt(0, 10), bytes);

    std::vector<uint8_t> out(10);
    int32_t len = 10;
    ASSERT_TRUE(creator.Read(out.data(), len));
    EXPECT_EQ(len, 10);
    EXPECT_EQ(out, bytes);
    h = ReadHeader();
    EXPECT_EQ(h.readIndex, -1);
    EXPECT_EQ(h.writeIndex, -1);
    EXPECT_EQ(h.count, 0);
}

TEST_F(QueueTest, WriteAndReadWrapAroundTheEndInOrder) {
    CSharedFileMapCreator creator;
    const auto filler = Pattern(65000, 0);
    ASSERT_TRUE(creator.Write(filler.data(), 65000));
    std::vector<uint8_t> sink(64990);
    int32_t len = 64990;
    ASSERT_TRUE(creator.Read(sink.data(), len));  // 10 bytes stay, at 64990..64999

    const auto tail = Pattern(600, 7);
    ASSERT_TRUE(creator.Write(tail.data(), 600));
    Header h = ReadHeader();
    EXPECT_EQ(h.writeIndex, 79);  // 520 bytes up to the end, 80 from data[0]
    EXPECT_EQ(h.count, 610);
    EXPECT_EQ(DataAt(0, 80), std::vector<uint8_t>(tail.begin() + 520, tail.end()));

    std::vector<uint8_t> out(610);
    len = 610;
    ASSERT_TRUE(creator.Read(out.data(), len));
    std::vector<uint8_t> expected(filler.end() - 10, filler.end());
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(out, expected);
    EXPECT_EQ(ReadHeader().count, 0);
}

TEST_F(QueueTest, WriteIsStricterThanCanWrite) {
    CSharedFileMapCreator creator;
    const auto filler = Pattern(65000, 0);
    ASSERT_TRUE(creator.Write(filler.data(), 65000));
    const auto more = Pattern(520, 0);
    EXPECT_TRUE(creator.CanWrite(520));  // 65520 <= 65520
    EXPECT_FALSE(creator.CanWrite(521));
    EXPECT_FALSE(creator.Write(more.data(), 520));  // 65520 is not below 65519
    EXPECT_FALSE(creator.Write(more.data(), 519));
    EXPECT_TRUE(creator.Write(more.data(), 518));
    EXPECT_EQ(creator.GetCount(), 65518);
}

TEST_F(QueueTest, OverLongReadCopiesOnlyWhatIsQueued) {
    CSharedFileMapCreator creator;
    ASSERT_TRUE(creator.Write("abc", 3));
    char out[100] = {};
    int32_t len = 100;
    ASSERT_TRUE(creator.Read(out, len));
    EXPECT_EQ(len, 3);
    EXPECT_STREQ(out, "abc");
}

TEST_F(QueueTest, NegativeLengthsAndADamagedHeaderAreRefused) {
    CSharedFileMapCreator creator;
    char buf[8] = {};
    int32_t len = -1;
    EXPECT_FALSE(creator.Write(buf, -5));
    ASSERT_TRUE(creator.Write("x", 1));
    EXPECT_FALSE(creator.Read(buf, len));
    {
        auto view = win::SharedMemory::Open(kShareBlockName);
        static_cast<int32_t*>(view->Data())[0] = 70000;  // read index past the data area
    }
    len = 8;
    EXPECT_FALSE(creator.Read(buf, len));
    EXPECT_FALSE(creator.Write("y", 1));
}

TEST_F(QueueTest, ASecondCopyAttachingKeepsTheQueuedBytes) {
    CSharedFileMapCreator first;
    ASSERT_TRUE(first.Write("a.tvq", 6));
    CSharedFileMapCreator second;
    EXPECT_EQ(second.GetCount(), 6);
    CSharedFileMapOpener opener;
    char out[16] = {};
    int32_t len = 16;
    ASSERT_TRUE(opener.Read(out, len));
    EXPECT_STREQ(out, "a.tvq");
    EXPECT_EQ(first.GetCount(), 0);
}

TEST_F(QueueTest, WithoutABlockEveryOperationFails) {
    CSharedFileMapOpener opener;  // nobody created the block
    EXPECT_TRUE(opener.IsOpened());
    EXPECT_EQ(opener.GetCount(), 0);
    EXPECT_FALSE(opener.CanWrite(1));
    EXPECT_FALSE(opener.Write("x", 1));
    char out[4];
    int32_t len = 4;
    EXPECT_FALSE(opener.Read(out, len));
}

TEST_F(QueueTest, TheBlockEndsWithItsLastUser) {
    {
        CSharedFileMapCreator creator;
        ASSERT_TRUE(creator.Write("old", 4));
    }
    EXPECT_EQ(win::SharedMemory::Open(kShareBlockName), nullptr);
    CSharedFileMapCreator again;
    EXPECT_EQ(again.GetCount(), 0);
}

TEST_F(QueueTest, ACrashedCopyLeavesNoStaleNames) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The block stays behind: _exit runs no destructor.
        auto* creator = new CSharedFileMapCreator();
        _exit(creator->Write("lost.tvq", 9) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    CSharedFileMapCreator creator;
    EXPECT_EQ(creator.GetCount(), 0);
}

TEST_F(QueueTest, AFileBackedBlockWorksLikeTheNamedOne) {
    const std::string path = folder_ + "/block.bin";
    CSharedFileMapCreator creator;
    creator.Create(path.c_str(), "other", 4096);
    ASSERT_TRUE(creator.Write("abc", 3));
    EXPECT_EQ(creator.GetCount(), 3);
    CSharedFileMapCreator reopened;
    reopened.Create(path.c_str(), "other", 4096);
    EXPECT_EQ(reopened.GetCount(), 3);  // the file keeps the queue
}

}  // namespace
