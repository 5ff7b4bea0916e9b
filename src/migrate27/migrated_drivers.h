#pragma once

// The catalogue rows that the migration to 2.7 treats apart. The positions are those of the
// built-in drivers catalogue of QMTarvioSetup, which name the same rows in every release.

#include <array>

// The JT input modules: the one that hangs below a converter and the one that is a
// converter of its own. Both describe their inputs as Counters, Digitals and Flows from 2.7.
inline constexpr int kJtInputModule = 37;
inline constexpr int kJtInputConverter = 40;

// Devices that carry their own communication channel: when an older configuration is
// migrated they are folded into the channel's device instead of becoming its children.
inline constexpr std::array<int, 7> kFoldDrivers = {6, 19, 21, kJtInputConverter, 51, 54, 59};

constexpr bool IsFoldDriver(int index) {
    for (int d : kFoldDrivers) {
        if (d == index) {
            return true;
        }
    }
    return false;
}

constexpr bool IsJtInputModule(int index) {
    return index == kJtInputModule || index == kJtInputConverter;
}
