#pragma once

#include <QLoggingCategory>

namespace vorn {
Q_DECLARE_LOGGING_CATEGORY(lcBridge)
// Messages the pages write to their console.
Q_DECLARE_LOGGING_CATEGORY(lcPageConsole)
} // namespace vorn
