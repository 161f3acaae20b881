#include "Thread.h"

#include <new>
#include <process.h>

namespace Veld {
namespace Client {
namespace Utility {

namespace {

const DWORD kStopWaitMs = 1000;

// What the worker needs, copied before it starts: the thread object may be
// closed or destroyed while the worker still runs. The worker owns its own
// handle of the stop event.
struct StartRecord {
    IWorkThread* pWork;
    HANDLE hStopEvent;
    HWND hNotifyWindow;
};

} // namespace

CThread::CThread() : m_hThread(nullptr), m_hStopEvent(nullptr), m_nThreadId(0), m_pWork(nullptr), m_pCaller(nullptr) {}

CThread::~CThread()
{
    if (m_hThread)
        Stop(true);
}

bool CThread::Start(IWorkThread* pWork, ICallerThread* pCaller)
{
    if (m_hThread || !pWork)
        return false;

    m_hStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_hStopEvent)
        return false;

    m_pWork = pWork;
    m_pCaller = pCaller;

    HWND hWnd = m_window.Create(this);
    if (!hWnd) {
        Close(false);
        return false;
    }

    auto* record = new (std::nothrow) StartRecord{pWork, nullptr, hWnd};
    if (!record || !DuplicateHandle(GetCurrentProcess(), m_hStopEvent, GetCurrentProcess(), &record->hStopEvent, 0,
                                    FALSE, DUPLICATE_SAME_ACCESS)) {
        delete record;
        Close(false);
        return false;
    }

    m_hThread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CThread::ThreadProc, record, CREATE_SUSPENDED, &m_nThreadId));
    if (!m_hThread) {
        CloseHandle(record->hStopEvent);
        delete record;
        Close(false);
        return false;
    }
    ResumeThread(m_hThread);
    return true;
}

unsigned int __stdcall CThread::ThreadProc(void* argument)
{
    StartRecord record = *static_cast<StartRecord*>(argument);
    delete static_cast<StartRecord*>(argument);

    unsigned int result = 0;
    if (record.hStopEvent && record.pWork && record.hNotifyWindow && IsWindow(record.hNotifyWindow)) {
        result = record.pWork->Run(record.hStopEvent, record.hNotifyWindow);
        PostMessageW(record.hNotifyWindow, WM_CLOSE, 0, 0);
    }
    if (record.hStopEvent)
        CloseHandle(record.hStopEvent);
    return result;
}

LRESULT CThread::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled)
{
    if (message == WM_CLOSE) {
        Stop(true);
        m_events.Fire(&IThreadEvent::OnThreadExit);
    }
    if (m_pCaller)
        m_pCaller->OnThreadMessage(message, wParam, lParam);
    *handled = false;
    return 1;
}

void CThread::Stop(bool skipPending)
{
    if (!m_hThread) {
        m_window.Destroy(skipPending);
        return;
    }
    if (!m_hStopEvent) {
        Terminate(skipPending);
        return;
    }
    SetEvent(m_hStopEvent);
    if (WaitForSingleObject(m_hThread, kStopWaitMs) == WAIT_OBJECT_0)
        Close(skipPending);
    else
        Terminate(skipPending);
}

void CThread::Terminate(bool skipPending)
{
    if (!m_hThread)
        return;
    TerminateThread(m_hThread, 0);
    Close(skipPending);
}

void CThread::Close(bool skipPending)
{
    if (m_hThread) {
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    if (m_hStopEvent) {
        CloseHandle(m_hStopEvent);
        m_hStopEvent = nullptr;
    }
    m_window.Destroy(skipPending);
    m_nThreadId = 0;
    m_pCaller = nullptr;
    m_pWork = nullptr;
}

} // namespace Utility
} // namespace Client
} // namespace Veld
