// Records the lines a program writes to the debugger output while the
// capture exists (the system raises them as exceptions first).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TestUtil {

class DebugOutputCapture {
public:
    DebugOutputCapture()
    {
        Lines().clear();
        m_handle = AddVectoredExceptionHandler(1, &Handler);
    }
    ~DebugOutputCapture() { RemoveVectoredExceptionHandler(m_handle); }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    const std::vector<std::string>& lines() const { return Lines(); }
    void clear() { Lines().clear(); }

private:
    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> lines;
        return lines;
    }
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* ep)
    {
        const EXCEPTION_RECORD* r = ep->ExceptionRecord;
        if (r->ExceptionCode == 0x4001000A && r->NumberParameters >= 2) { // wide text
            const wchar_t* text = reinterpret_cast<const wchar_t*>(r->ExceptionInformation[1]);
            std::string narrow;
            for (; text && *text; ++text)
                narrow += static_cast<char>(*text);
            Lines().push_back(narrow);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        if (r->ExceptionCode == 0x40010006 && r->NumberParameters >= 2) { // 8-bit text
            Lines().push_back(reinterpret_cast<const char*>(r->ExceptionInformation[1]));
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
    PVOID m_handle;
};

} // namespace TestUtil
