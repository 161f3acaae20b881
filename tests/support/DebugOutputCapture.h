// Records the lines a program writes to the debugger output while the
// capture exists. The capture poses as an attached debugger (the process's
// being-debugged flag) and takes the lines from the exceptions the system
// raises for them before any debugger would see them.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

namespace TestUtil {

class DebugOutputCapture {
public:
    DebugOutputCapture() : m_handle(AddVectoredExceptionHandler(1, &Handler)), m_wasDebugged(Peb()->BeingDebugged)
    {
        s_lines.clear();
        Peb()->BeingDebugged = 1;
    }
    ~DebugOutputCapture()
    {
        Peb()->BeingDebugged = m_wasDebugged;
        RemoveVectoredExceptionHandler(m_handle);
    }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;
    const std::vector<std::string>& lines() const { return s_lines; }

private:
    static PEB* Peb() { return reinterpret_cast<TEB*>(NtCurrentTeb())->ProcessEnvironmentBlock; }
    // Wide (0x4001000A) or narrow (0x40010006) debugger text.
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* ep)
    {
        const EXCEPTION_RECORD* r = ep->ExceptionRecord;
        const bool wide = r->ExceptionCode == 0x4001000A;
        if (r->NumberParameters < 2 || (!wide && r->ExceptionCode != 0x40010006))
            return EXCEPTION_CONTINUE_SEARCH;
        std::string& line = s_lines.emplace_back();
        for (auto* text = reinterpret_cast<const wchar_t*>(r->ExceptionInformation[1]); wide && text && *text; ++text)
            line += static_cast<char>(*text);
        if (!wide)
            line = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    static inline std::vector<std::string> s_lines;
    PVOID m_handle;
    BYTE m_wasDebugged;
};

} // namespace TestUtil
