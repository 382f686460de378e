#pragma once

// The simulated device library's control functions, resolved from the same loaded library the
// device access object uses.

#include <QLibrary>

#include <cstdint>

struct SimulatedDevices
{
    int (*reset_state)() = nullptr;
    int (*plug)(int index) = nullptr;
    int (*unplug)(int index) = nullptr;
    int (*report)(const uint8_t bytes[8]) = nullptr;
    int (*set_identity)(int index, const char *field, const void *bytes, size_t size) = nullptr;
    int (*set_reported_count)(int count) = nullptr;
    int (*memory)(int index, uint32_t address, uint8_t *out, int length) = nullptr;
    int (*flush_events)() = nullptr;

    bool load(QLibrary &library)
    {
        const auto resolve = [&library](auto &entry, const char *name) {
            entry =
                reinterpret_cast<std::remove_reference_t<decltype(entry)>>(library.resolve(name));
            return entry != nullptr;
        };
        return resolve(reset_state, "dcsim_reset_state") && resolve(plug, "dcsim_plug") &&
               resolve(unplug, "dcsim_unplug") && resolve(report, "dcsim_report") &&
               resolve(set_identity, "dcsim_set_identity") &&
               resolve(set_reported_count, "dcsim_set_reported_count") &&
               resolve(memory, "dcsim_memory") && resolve(flush_events, "dcsim_flush_events");
    }
};
