#include <gtest/gtest.h>

#include "afx/Clock.h"

TEST(VirtualClockTest, SleepMovesTimeWithoutWaitingAndTheWallClockInWholeSeconds) {
  afx::VirtualClock clock;
  afx::ScopedClock scope(clock);
  const std::time_t wall0 = AfxTime();
  const DWORD tick0 = GetTickCount();
  std::int64_t counter0 = 0;
  std::int64_t frequency = 0;
  ASSERT_TRUE(QueryPerformanceCounter(&counter0));
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));

  // Packet time-outs count whole seconds: 999 ms later it is still the same second.
  Sleep(999);
  EXPECT_EQ(AfxTime(), wall0);
  Sleep(1);
  EXPECT_EQ(AfxTime(), wall0 + 1);
  Sleep(13000);  // the rest of a receiver restart

  EXPECT_EQ(AfxTime() - wall0, 14);
  EXPECT_EQ(GetTickCount() - tick0, 14000u);
  std::int64_t counter1 = 0;
  QueryPerformanceCounter(&counter1);
  EXPECT_EQ((counter1 - counter0) / frequency, 14);
  EXPECT_EQ(clock.ElapsedNs(), 14'000'000'000);
  // Sleeping until the past does not go back.
  const std::int64_t now = clock.NowNs();
  clock.SleepUntilNs(100);
  EXPECT_EQ(clock.NowNs(), now);
  clock.SleepUntilNs(now + 200'000'000);
  EXPECT_EQ(clock.NowNs(), now + 200'000'000);
}
