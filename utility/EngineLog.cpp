#include "EngineLog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <windows.h>

namespace Veld {
namespace Game {

void FormatLogLine(char* line, int year, int month, int day, int hour, int minute, int second, const char* text)
{
    std::memset(line, 0, kLogLineSize);
    int prefix =
        std::snprintf(line, kLogLineSize, "[%.4d-%.2d-%.2d %.2d:%.2d:%.2d] ", year, month, day, hour, minute, second);
    if (prefix < 0)
        prefix = 0;
    // Room left for the text once "\n" and the NUL are reserved.
    std::size_t room = kLogLineSize - static_cast<std::size_t>(prefix) - 2;
    std::size_t length = text ? strnlen(text, room) : 0;
    std::memcpy(line + prefix, text ? text : "", length);
    line[prefix + length] = '\n';
    line[prefix + length + 1] = '\0';
}

void WriteEngineLog(const char* text)
{
    __time64_t now = _time64(nullptr);
    struct tm local;
    if (_localtime64_s(&local, &now) != 0)
        std::memset(&local, 0, sizeof(local));

    char line[kLogLineSize];
    FormatLogLine(line, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, text);

    FILE* file = nullptr;
    if (fopen_s(&file, "./Log/GameEngine.log", "a+") != 0 || !file)
        return;
    std::fputs(line, file);
    std::fclose(file);
}

} // namespace Game
} // namespace Veld
