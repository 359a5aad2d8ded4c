#pragma once

// How many of each thing the program has, named once.
namespace kelmar {

// Meter slots on the line, on the display and in a record line.
constexpr int SlotCount = 6;
// Readings per slot: the first value and, for a two-value model, the second.
constexpr int ItemsPerSlot = 2;
// Serial port numbers the operator can choose ("COM1" ... "COM10").
constexpr int FirstPortNumber = 1;
constexpr int LastPortNumber = 10;

} // namespace kelmar
