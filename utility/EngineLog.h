// The engine log: "./Log/GameEngine.log" below the current directory, one
// time-stamped line per call. The folder is never created.
#pragma once

#include <cstddef>

namespace Veld {
namespace Game {

const std::size_t kLogLineSize = 4096;

/// Formats "[YYYY-MM-DD hh:mm:ss] text\n" into line (kLogLineSize bytes),
/// truncating the text so that the line end and the NUL always fit.
void FormatLogLine(char* line, int year, int month, int day, int hour, int minute, int second, const char* text);

/// Appends one line in local time; a missing folder or file error drops it.
void WriteEngineLog(const char* text);

} // namespace Game
} // namespace Veld
