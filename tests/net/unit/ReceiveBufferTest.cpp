// The receive queue hands out lines in order however the bytes were cut into packets, and keeps
// its stream view (size, position, bytes) of what is still waiting.
#include "net/ReceiveBuffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using net::TReceiveBuffer;

TEST(ReceiveBuffer, LinesComeOutWholeAndInOrderWhateverThePacketSizes)
{
    std::mt19937 random(7);
    std::vector<std::string> lines;
    std::string all;
    // Enough bytes that consumed ones are given back several times on the way.
    while (all.size() < 600 * 1024) {
        std::string line(random() % 300, 'a' + static_cast<char>(random() % 26));
        if (random() % 5 == 0)
            line += '\r';
        if (random() % 7 == 0)
            line += '\0';
        line += '\n';
        lines.push_back(line);
        all += line;
    }
    all += "unfinished";
    for (const std::size_t packet : { std::size_t(1), std::size_t(7), std::size_t(16383), std::size_t(100000) }) {
        TReceiveBuffer buffer;
        std::vector<std::string> got;
        for (std::size_t at = 0; at < all.size(); at += packet) {
            buffer.Append(std::string_view(all).substr(at, packet));
            while (auto line = buffer.TakeLine())
                got.push_back(*line);
        }
        EXPECT_EQ(got, lines) << "packets of " << packet;
        EXPECT_EQ(buffer.Bytes(), "unfinished");
        EXPECT_EQ(buffer.Size(), 10);
        EXPECT_EQ(buffer.Position(), 10);
        EXPECT_FALSE(buffer.TakeLine());
    }
}

TEST(ReceiveBuffer, TheStreamViewCountsOnlyTheWaitingBytes)
{
    TReceiveBuffer buffer;
    EXPECT_EQ(buffer.Position(), 0);
    buffer.Append("one\ntwo\nthr");
    EXPECT_EQ(*buffer.TakeLine(), "one\n");
    EXPECT_EQ(buffer.Size(), 7);
    EXPECT_EQ(buffer.Position(), 7);
    buffer.Seek(0);
    char bytes[16] = {};
    EXPECT_EQ(buffer.Read(bytes, sizeof bytes), 7);
    EXPECT_EQ(std::string(bytes, 7), "two\nthr");
    buffer.Consume(4);
    EXPECT_EQ(buffer.Bytes(), "thr");
    buffer.Append("ee\n");
    EXPECT_EQ(*buffer.TakeLine(), "three\n");
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Position(), 0);
}

TEST(ReceiveBuffer, ALineEndWrittenOverSearchedBytesIsFound)
{
    TReceiveBuffer buffer;
    buffer.Append("abcdef");
    EXPECT_FALSE(buffer.TakeLine());
    buffer.Seek(2);
    buffer.Write("\n", 1);
    EXPECT_EQ(*buffer.TakeLine(), "ab\n");
    EXPECT_EQ(buffer.Bytes(), "def");
}
