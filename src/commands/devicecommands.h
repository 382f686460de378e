#pragma once

#include "commands/commandrequest.h"

// The device commands: the device list with product data, numbered properties, memory by
// address, notices, and the macro-slot operations built on memory access. Every transfer
// uses a zero-filled buffer of 2048 bytes; PARAMSIZE is clamped to 0..2048 and PARAMDATA
// items missing beyond the list count as 0, so no request reads or writes past the buffer.
// Library functions that are missing count as failed calls and read zero bytes.
namespace vorn::commands {

void getDevicesList(CommandRequest &request);
void readDevicesProp(CommandRequest &request);
void writeDevicesProp(CommandRequest &request);
void readByAddr(CommandRequest &request);
void writeByAddr(CommandRequest &request);
void notifyDevice(CommandRequest &request);
void isPropEmpty(CommandRequest &request);
void cleanMacroByAddr(CommandRequest &request);
void writeMacroByAddr(CommandRequest &request);

} // namespace vorn::commands
