// A worker thread whose reports come back to the thread that started it,
// through a message window owned by that thread.
#pragma once

#include <windows.h>

#include "ListenerRegistry.h"
#include "MessageWindow.h"

namespace Veld {
namespace Client {
namespace Utility {

/// The work of a thread; runs on the worker thread.
class IWorkThread {
public:
    /// Returns soon after hStopEvent is set; reports only by posting messages
    /// (other than WM_CLOSE) to hNotifyWindow. The result is the exit code.
    virtual unsigned int Run(HANDLE hStopEvent, HWND hNotifyWindow) = 0;
};

/// Receives the messages the work posted, on the owner thread, in order.
class ICallerThread {
public:
    virtual void OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

/// Told on the owner thread that the work is over.
class IThreadEvent {
public:
    virtual void OnThreadExit() = 0;
};

class CThread : public IMessageWindowCallback {
public:
    CThread();
    virtual ~CThread();

    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    /// Starts pWork on a new thread; false when a thread is held already,
    /// pWork is null or a resource cannot be made. pCaller may be null.
    bool Start(IWorkThread* pWork, ICallerThread* pCaller);
    /// Sets the stop event, waits up to 1000 ms, then ends the thread by force.
    void Stop(bool skipPending);
    /// Ends the thread by force at once.
    void Terminate(bool skipPending);
    /// Lets go of the thread, its stop event and the notify window without
    /// waiting; a thread still running goes on unobserved.
    void Close(bool skipPending);

    bool IsRunning() const { return m_hThread != nullptr; }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;

private:
    static unsigned int __stdcall ThreadProc(void* argument);

    HANDLE m_hThread;
    HANDLE m_hStopEvent;
    unsigned int m_nThreadId;
    CMessageWindow m_window;
    IWorkThread* m_pWork;
    ICallerThread* m_pCaller;

public:
    /// Listeners told OnThreadExit when the work has returned.
    Veld::Game::CListenerRegistry<IThreadEvent> m_events;
};

} // namespace Utility
} // namespace Client
} // namespace Veld
