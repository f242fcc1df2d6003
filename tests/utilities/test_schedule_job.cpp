#include <gtest/gtest.h>

#include <QDateTime>

#include "KestroFormatHelpers.h"

namespace {

time_t at(int month, int day, int hour, int minute, int second = 0) {
  return static_cast<time_t>(QDateTime(QDate(2024, month, day), QTime(hour, minute, second)).toSecsSinceEpoch());
}

int due(time_t start, int duration, int repeat, time_t now) {
  return kcm_checkScheduleJobWorkRequest(start, duration, static_cast<KestroJobRepeatType>(repeat), now);
}

}  // namespace

// Tests a one-off job: due from its start to its end, both included, then never; an
// unknown repeat value is never due.
TEST(ScheduleJob, OnceCoversItsWindowOnly) {
  const time_t start = at(5, 15, 9, 30);
  EXPECT_EQ(due(start, 60, KestroJobRepeatOnce, start), 1);
  EXPECT_EQ(due(start, 60, KestroJobRepeatOnce, start + 60), 1);
  EXPECT_EQ(due(start, 60, KestroJobRepeatOnce, start + 61), 0);
  EXPECT_EQ(due(start, 60, KestroJobRepeatOnce, start - 1), 0);
  EXPECT_EQ(due(start, 60, KestroJobRepeatOnce, start + 86400), 0);
  EXPECT_EQ(due(start, 60, 3, start), 0);
}

// Tests a daily job at 22:00 for an hour; its window starts on now's date, so it never
// reaches past midnight into the next day.
TEST(ScheduleJob, DailyRepeatsTheTimeOfDayOnNowsDate) {
  const time_t start = at(3, 4, 22, 0);
  EXPECT_EQ(due(start, 3600, KestroJobRepeatDaily, at(5, 15, 22, 0)), 1);
  EXPECT_EQ(due(start, 3600, KestroJobRepeatDaily, at(5, 15, 23, 0)), 1);
  EXPECT_EQ(due(start, 3600, KestroJobRepeatDaily, at(5, 15, 23, 0, 1)), 0);
  EXPECT_EQ(due(start, 3600, KestroJobRepeatDaily, at(5, 15, 21, 59, 59)), 0);
  EXPECT_EQ(due(start, 7200, KestroJobRepeatDaily, at(5, 16, 0, 30)), 0);
}

// Tests that a weekly job keeps its weekday within now's Monday-to-Sunday week: one
// that started on a Sunday is due on the Sunday that ends the week.
TEST(ScheduleJob, WeeklyUsesStartsWeekdayInNowsWeek) {
  const time_t sunday = at(3, 3, 10, 0), monday = at(3, 4, 8, 0);
  EXPECT_EQ(due(sunday, 3600, KestroJobRepeatWeekly, at(5, 19, 10, 30)), 1);
  EXPECT_EQ(due(sunday, 3600, KestroJobRepeatWeekly, at(5, 13, 10, 30)), 0);
  EXPECT_EQ(due(sunday, 3600, KestroJobRepeatWeekly, at(5, 19, 11, 0, 1)), 0);
  EXPECT_EQ(due(monday, 60, KestroJobRepeatWeekly, at(5, 13, 8, 1)), 1);
  EXPECT_EQ(due(monday, 60, KestroJobRepeatWeekly, at(5, 14, 8, 1)), 0);
}
