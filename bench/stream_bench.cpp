// Streaming cost and start latency: plays a 60 s MP3 as a stream and reports
// the time from PlaySound to the buffer playing, and the CPU time of the
// threads the stream started (its worker and the decoder) as a share of the
// stream's duration.
//
//   scripts/rig.sh exec BUILD BUILD/bin/stream_bench.exe
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <set>
#include <string>

#include "DDGameEngine.h"
#include "DSound7.h"

using namespace Veld::Game;

namespace {

// Dispatches this thread's messages for ms milliseconds, or until done().
template <class Done> void Pump(DWORD ms, Done done)
{
    for (const DWORD start = GetTickCount(); !done() && GetTickCount() - start < ms;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}
void Pump(DWORD ms)
{
    Pump(ms, [] { return false; });
}

std::set<DWORD> Threads()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

double Seconds(const FILETIME& t)
{
    return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
}

struct Sink : ISoundExEvent {
    bool finished = false;
    void OnSoundEvent(int, int event) override { finished = finished || event == SoundFinished; }
};

} // namespace

int main()
{
    std::string path8(ENGINE_BENCH_MP3);
    const std::wstring path(path8.begin(), path8.end());
    CDDGameEngine engine;
    if (!engine.Initialize(GetModuleHandleW(nullptr), L"StreamBench", nullptr, 200, 150, 180, 20, SW_SHOW))
        return 1;
    auto* device = static_cast<CDSound7*>(engine.GetSoundEx());
    Sink sink;
    device->SetSoundEvent(&sink);
    if (!device->LoadSound(path, L"music", false, 1))
        return 2;
    CDSoundObject* stream = device->FindSound(L"music");

    const std::set<DWORD> before = Threads();
    LARGE_INTEGER frequency, start, playing;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (device->PlaySound(L"music", false) < 0)
        return 3;
    DWORD status = 0;
    for (;;) {
        IDirectSoundBuffer* buffer = stream->GetBuffer(0);
        if (buffer && SUCCEEDED(buffer->GetStatus(&status)) && (status & DSBSTATUS_PLAYING))
            break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(1);
    }
    QueryPerformanceCounter(&playing);
    std::printf("PlaySound to playing: %.1f ms\n", 1000.0 * (playing.QuadPart - start.QuadPart) / frequency.QuadPart);

    std::set<DWORD> fresh;
    for (DWORD id : Threads())
        if (!before.count(id))
            fresh.insert(id);
    std::set<HANDLE> handles;
    for (DWORD id : fresh)
        if (HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id))
            handles.insert(h);

    Pump(58000);
    double total = 0;
    for (HANDLE h : handles) {
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(h, &created, &exited, &kernel, &user)) {
            std::printf("thread: user %.3f s, kernel %.3f s\n", Seconds(user), Seconds(kernel));
            total += Seconds(user) + Seconds(kernel);
        }
        CloseHandle(h);
    }
    const double elapsed = 58.0 + double(playing.QuadPart - start.QuadPart) / frequency.QuadPart;
    std::printf("stream threads: %.3f s CPU in %.1f s = %.2f %%\n", total, elapsed, 100.0 * total / elapsed);
    Pump(4000, [&] { return sink.finished; });
    std::printf("finished: %s\n", sink.finished ? "yes" : "no");
    engine.Shutdown();
    return 0;
}
