#include "sim/output_queue.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace torvex::sim {
namespace {

Bytes Drain(int fd) {
  Bytes bytes(256);
  const ssize_t n = ::read(fd, bytes.data(), bytes.size());
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

TEST(OutputQueue, KeepsLineOrderAndWaitsForTheDueMoment) {
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_NONBLOCK), 0);
  OutputQueue queue;
  queue.Schedule(1000, {1, 2});  // a delayed tail
  queue.Schedule(10, {3});       // due sooner, but behind the tail on the line
  EXPECT_EQ(queue.NextDue(), 1000);
  EXPECT_FALSE(queue.HasDue(999));

  ASSERT_TRUE(queue.Flush(pipe[1], 999));
  EXPECT_TRUE(Drain(pipe[0]).empty());
  ASSERT_TRUE(queue.Flush(pipe[1], 1000));
  EXPECT_EQ(Drain(pipe[0]), (Bytes{1, 2, 3}));
  EXPECT_FALSE(queue.NextDue());
  ::close(pipe[0]);
  ::close(pipe[1]);
}

TEST(OutputQueue, KeepsWhatTheLineCannotTakeYetAndBoundsIt) {
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_NONBLOCK), 0);
  const int capacity = ::fcntl(pipe[1], F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  OutputQueue queue;
  ASSERT_TRUE(queue.Schedule(0, Bytes(static_cast<std::size_t>(capacity) + 100, 0xAA)));
  ASSERT_TRUE(queue.Flush(pipe[1], 0)) << "a full line is no error";
  EXPECT_TRUE(queue.HasDue(0)) << "the rest waits for room";
  std::size_t drained = 0;
  while (drained < static_cast<std::size_t>(capacity)) drained += Drain(pipe[0]).size();
  ASSERT_TRUE(queue.Flush(pipe[1], 0));
  EXPECT_FALSE(queue.HasDue(0));
  EXPECT_EQ(Drain(pipe[0]).size(), 100u);

  EXPECT_FALSE(queue.Schedule(0, Bytes(OutputQueue::kLimit + 1, 0))) << "nobody reads: dropped";
  ::close(pipe[0]);
  ::close(pipe[1]);
}

// At 1 ms a character: each byte leaves when its character has passed, a run never before the
// one ahead of it has ended.
TEST(OutputQueue, PacesBytesAtTheCharacterTime) {
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_NONBLOCK), 0);
  OutputQueue queue(1000.0);
  ASSERT_TRUE(queue.Schedule(10'000, {1, 2, 3}));
  EXPECT_EQ(queue.LastSpan(), (std::pair<std::int64_t, std::int64_t>{10'000, 13'000}));
  ASSERT_TRUE(queue.Schedule(11'000, {4}));
  EXPECT_EQ(queue.LastSpan(), (std::pair<std::int64_t, std::int64_t>{13'000, 14'000}));

  EXPECT_EQ(queue.NextDue(), 11'000);
  ASSERT_TRUE(queue.Flush(pipe[1], 10'999));
  EXPECT_TRUE(Drain(pipe[0]).empty());
  ASSERT_TRUE(queue.Flush(pipe[1], 12'500));
  EXPECT_EQ(Drain(pipe[0]), (Bytes{1, 2}));
  EXPECT_EQ(queue.NextDue(), 13'000);
  ASSERT_TRUE(queue.Flush(pipe[1], 13'999));
  EXPECT_EQ(Drain(pipe[0]), (Bytes{3}));
  ASSERT_TRUE(queue.Flush(pipe[1], 14'000));
  EXPECT_EQ(Drain(pipe[0]), (Bytes{4}));
  EXPECT_FALSE(queue.NextDue());
  ::close(pipe[0]);
  ::close(pipe[1]);
}

// A fast line's characters reach the master as its adapter hands them on, once a millisecond:
// what has passed by then, together.
TEST(OutputQueue, HandsFastCharactersOnOnceAMillisecond) {
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_NONBLOCK), 0);
  OutputQueue queue(95.0);  // 115200 baud, 11 bits
  ASSERT_TRUE(queue.Schedule(10'000, Bytes(20, 7)));
  EXPECT_EQ(queue.NextDue(), 11'000);
  ASSERT_TRUE(queue.Flush(pipe[1], 10'999));
  EXPECT_TRUE(Drain(pipe[0]).empty());
  ASSERT_TRUE(queue.Flush(pipe[1], 11'000));
  EXPECT_EQ(Drain(pipe[0]).size(), 10u) << "the characters that passed by 10.95 ms";
  EXPECT_EQ(queue.NextDue(), 12'000);
  ASSERT_TRUE(queue.Flush(pipe[1], 12'000));
  EXPECT_EQ(Drain(pipe[0]).size(), 10u);
  ::close(pipe[0]);
  ::close(pipe[1]);
}

}  // namespace
}  // namespace torvex::sim
