// kcm_checkScheduleJobWorkRequest: whether a once, daily or weekly job is due.
#include <stdint.h>

#include <QDateTime>

#include "KestroFormatHelpers.h"

namespace {

// Qt 4's QDateTime::setTime_t, which the schedule was defined on, took an unsigned
// 32-bit count of seconds in local time.
QDateTime localTime(time_t seconds) { return QDateTime::fromSecsSinceEpoch(static_cast<uint32_t>(seconds)); }

// The occurrence of the job that is checked against `now`; invalid for an unknown repeat.
QDateTime occurrence(const QDateTime& start, KestroJobRepeatType repeat, const QDateTime& now) {
  switch (repeat) {
    case KestroJobRepeatOnce:
      return start;
    case KestroJobRepeatDaily:
      return QDateTime(now.date(), start.time());
    case KestroJobRepeatWeekly: {
      // Start's weekday within the Monday-to-Sunday week that holds now.
      const QDate day = now.date().addDays(start.date().dayOfWeek() - now.date().dayOfWeek());
      return QDateTime(day, start.time());
    }
  }
  return QDateTime();
}

}  // namespace

int kcm_checkScheduleJobWorkRequest(time_t start, int duration, KestroJobRepeatType repeat, time_t now) {
  const QDateTime current = localTime(now);
  const QDateTime begin = occurrence(localTime(start), repeat, current);
  if (!begin.isValid()) return 0;
  const QDateTime end = begin.addSecs(duration);
  return begin <= current && current <= end ? 1 : 0;
}
