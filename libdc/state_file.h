#pragma once

// The state file keeps what a real device keeps across power cycles: each device's firmware
// version, property values and memory. Layout (little-endian):
//
//   0   8  magic "VSIMSTAT"
//   8   4  format version (1)
//   12  4  device count (2)
//   16     per device: version text (17), property store (16), memory (65536)
//   end 4  CRC-32 of every byte before it
//
// Anything that does not match exactly (size, magic, format, count, CRC) is ignored and the
// devices keep their defaults.

#include "device_model.h"

#include <array>
#include <string>

namespace dcsim {

using Devices = std::array<Device, DeviceCount>;

inline constexpr uint32_t StateFormatVersion = 1;

// Fills the persistent parts of `devices` from the file; returns false (leaving `devices`
// untouched) when the file is missing or unusable.
bool loadState(const std::string &path, Devices &devices);

// Writes the file through a temporary file and a rename, so a reader sees either the old or
// the new state. Returns false when it could not be written.
bool saveState(const std::string &path, const Devices &devices);

} // namespace dcsim
