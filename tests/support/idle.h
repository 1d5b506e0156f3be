// The bridge at rest, as Stop, the worker's end or a failed Start leave it.
#pragma once

#include <string>

// Empty when the bridge holds nothing (no worker thread, not running, no
// listening socket, no serial port) and the last thing the recording sink
// saw gave the key back, not reading "Stop". With `linesCleared`, both
// status lines were also last set empty and the key reads "Start".
// Otherwise says what is not so.
std::string WhyNotIdle(bool linesCleared = true);
