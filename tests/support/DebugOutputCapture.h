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
        Lines().clear();
        Peb()->BeingDebugged = 1;
    }
    ~DebugOutputCapture()
    {
        Peb()->BeingDebugged = m_wasDebugged;
        RemoveVectoredExceptionHandler(m_handle);
    }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;
    const std::vector<std::string>& lines() const { return Lines(); }
    void clear() { Lines().clear(); }

private:
    static PEB* Peb()
    {
        using Fn = PEB*(WINAPI*)();
        static Fn get = reinterpret_cast<Fn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetCurrentPeb")));
        return get();
    }
    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> lines;
        return lines;
    }
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* ep)
    {
        const EXCEPTION_RECORD* r = ep->ExceptionRecord;
        if (r->NumberParameters < 2 || (r->ExceptionCode != 0x4001000A && r->ExceptionCode != 0x40010006))
            return EXCEPTION_CONTINUE_SEARCH;
        std::string line;
        if (r->ExceptionCode == 0x4001000A) // wide text
            for (auto* text = reinterpret_cast<const wchar_t*>(r->ExceptionInformation[1]); text && *text; ++text)
                line += static_cast<char>(*text);
        else
            line = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
        Lines().push_back(line);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    PVOID m_handle;
    BYTE m_wasDebugged;
};

} // namespace TestUtil
