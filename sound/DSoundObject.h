// One loaded sound: a sound file and the DirectSound buffers that play it,
// either whole (one voice per buffer) or streamed through one looping buffer
// that a worker thread refills half by half. Buffers have volume and pan
// controls; the device watches whole plays for their end.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <string>
#include <vector>

#include "SoundFile.h"
#include "Thread.h"

namespace Veld {
namespace Game {

class CDSoundObject;

/// Most buffers (voices that can play at the same time) of one sound.
const unsigned int kMaxSoundVoices = 256;

/// How sound objects report to the device.
class IDSoundObjectEvent {
public:
    virtual void OnSoundFinished(CDSoundObject* pSound, int nBufferIndex) = 0; // slot 0
    virtual void OnSoundPaused(CDSoundObject* pSound, int nBufferIndex) = 0;   // slot 1
    virtual void OnSoundStopped(CDSoundObject* pSound, int nBufferIndex) = 0;  // slot 2
};

/// The process-wide sink every sound object reports to; null reports nothing.
void SetSoundObjectEventSink(IDSoundObjectEvent* pSink);
IDSoundObjectEvent* GetSoundObjectEventSink();

class CDSoundObject : public Client::Utility::IWorkThread,
                      public Client::Utility::ICallerThread,
                      public Client::Utility::IThreadEvent,
                      public IReadTracer {
public:
    explicit CDSoundObject(IDirectSound* pDirectSound);
    /// Ends the stream worker before the buffers and the file go.
    ~CDSoundObject() override;

    CDSoundObject(const CDSoundObject&) = delete;
    CDSoundObject& operator=(const CDSoundObject&) = delete;

    /// nBufferCount: 1 to kMaxSoundVoices, else E_INVALIDARG.
    HRESULT Create(const std::wstring& strPath, unsigned int nBufferCount, bool bWhole, GUID guid3DAlgorithm);
    /// A free (idle) buffer, growing the list up to kMaxSoundVoices when all
    /// are busy (-1 beyond); 0 for a stream.
    int GetFreeBufferIndex();
    IDirectSoundBuffer* GetBuffer(int nIndex);
    bool IsBusy(int nIndex);
    /// Whole: S_FALSE when the buffer was not lost. Stream: S_OK for a new
    /// start, E_FAIL while a stream (or its start) is under way.
    HRESULT Play(int nIndex, DWORD dwFlags);
    HRESULT Pause(int nIndex);
    HRESULT Stop(int nIndex);
    /// Rewinds and stops every buffer; no reports, a stream worker goes on.
    HRESULT StopAll();
    /// Whole: the buffer is playing. False for a stream.
    bool IsPlaying(int nIndex);
    /// Rewinds a whole buffer, without reports.
    HRESULT Rewind(int nIndex);
    /// DirectSound volume and pan of a buffer; a stream keeps them for the
    /// buffer its worker makes (S_FALSE while it has none).
    HRESULT SetLevel(int nIndex, LONG lVolume, LONG lPan);

    bool IsStreamMode() const { return !m_bWhole; }
    bool IsStreaming();
    size_t GetBufferCount();

    // Stream worker and its reports.
    unsigned int Run(HANDLE hStopEvent, HWND hNotifyWindow) override;
    void OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnThreadExit() override;

private:
    /// The buffer at nIndex, or null; the caller holds m_lock.
    IDirectSoundBuffer* BufferAt(int nIndex) const;
    HRESULT RestoreBuffer(IDirectSoundBuffer* pBuffer, bool* pbRestored);
    HRESULT FillBufferWithSound(IDirectSoundBuffer* pBuffer);
    int AddBuffer();
    BYTE SilenceByte();
    void FinishWorker(bool bStopped);
    void CloseReady();
    bool WaitForBlock(HANDLE hStopEvent);
    bool PlayUntil(IDirectSoundBuffer* pBuffer, DWORD dwEnd, DWORD dwPlayed, HANDLE hStopEvent);
    void EndStream(IDirectSoundBuffer* pBuffer, HANDLE hEnd, HANDLE hMiddle);

    IDirectSound* m_pDirectSound;
    std::vector<IDirectSoundBuffer*> m_buffers;
    DWORD m_dwBufferBytes;
    ISoundFile* m_pFile;
    DWORD m_dwCreationFlags;
    DSBUFFERDESC m_desc;
    bool m_bWhole;
    Client::Utility::CThread m_thread;
    HANDLE m_hReady;
    bool m_bReadySeen;
    bool m_bStreaming;
    bool m_bStopRequested;
    bool m_bStreamStarted;
    // Guards m_buffers and the stream flags against the worker.
    CRITICAL_SECTION m_lock;
    bool m_bWorkerDone;                 // the worker has returned (its end may not be dispatched yet)
    LONG m_lStreamVolume, m_lStreamPan; // for the stream's buffer, also one still to be made
};

} // namespace Game
} // namespace Veld
