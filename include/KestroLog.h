// Failure reporting through Qt's message mechanism, and the optional log file.
//
// kcm_logExpression writes a six-message record of a failed check. Where the messages
// go is decided by the Qt message handler the process has installed; the library
// installs its own only when the host calls kcm_setDefaultLogFile.
#pragma once

#include "KestroExport.h"

// The severity asked of kcm_logExpression; any other value behaves as KcmLogDebug.
enum KcmLogType {
  KcmLogDebug = 0,     // QtDebugMsg
  KcmLogCritical = 1,  // QtCriticalMsg
  KcmLogWarning = 2,   // QtWarningMsg: never written to the log file
};

// Emits, as six separate Qt messages of the type chosen by `type`:
//   "*********************error******************************* "
//   "\"yy-MM-dd hh:mm:ss\" "                (local date and time, in double quotes)
//   "File: <file> "
//   "LineNo: <line> "
//   "Expression: <expression> "
//   "---------------------error------------------------------- "
// Each text ends in one space. `file` is the source path as the caller spells it (the
// library passes "src\Name"); null `file` or `expression` print as empty. `flag` has no
// effect. Callable from any thread; the six messages of two threads may interleave.
KCM_API void kcm_logExpression(const char* file, int line, const char* expression, KcmLogType type, bool flag);

// Sends every debug, critical and fatal message of the process (warnings are dropped)
// to "<full path of the executable>.txt", one line per message:
//   "[<Qt::TextDate local time>][<thread id>]Debug: <text>\n"   (or Critical:, Fatal:)
// The file is opened, appended and closed per message under one process-wide re-entrant
// lock; on the 1st, 11th, 21st... message it is deleted first if it exceeds 31,457,280
// bytes. Replaces any handler installed before. If the path with ".txt" does not fit in
// 260 characters, no handler is installed and a warning says so.
KCM_API void kcm_setDefaultLogFile();
