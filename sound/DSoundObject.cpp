#include "DSoundObject.h"

#include <cstring>
#include <exception>
#include <new>

#include "Mp3File.h"
#include "WaveFile.h"

namespace Veld {
namespace Game {

using Client::Utility::IThreadEvent;

namespace {

IDSoundObjectEvent* g_pSoundObjectEventSink = nullptr;

const DWORD kCreationFlags = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2 |
                             DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
const int kRestoreTries = 100;  // 10 ms apart: a buffer lost for a second stays lost
const DWORD kCursorPollMs = 10; // while the last data of a stream plays out
const DWORD kBlockPollMs = 2;   // while the decoder finishes the next block

class CLock {
public:
    explicit CLock(CRITICAL_SECTION* pLock) : m_pLock(pLock) { EnterCriticalSection(m_pLock); }
    ~CLock() { LeaveCriticalSection(m_pLock); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CRITICAL_SECTION* m_pLock;
};

} // namespace

void SetSoundObjectEventSink(IDSoundObjectEvent* pSink)
{
    g_pSoundObjectEventSink = pSink;
}

IDSoundObjectEvent* GetSoundObjectEventSink()
{
    return g_pSoundObjectEventSink;
}

// ---------------------------------------------------------------------------
// CDSoundObject

CDSoundObject::CDSoundObject(IDirectSound* pDirectSound)
    : m_pDirectSound(pDirectSound), m_dwBufferBytes(0), m_pFile(nullptr), m_dwCreationFlags(0), m_desc(),
      m_bWhole(true), m_hReady(nullptr), m_bReadySeen(false), m_bStreaming(false), m_bStopRequested(false),
      m_bStreamStarted(false), m_bWorkerDone(false), m_lStreamVolume(DSBVOLUME_MAX), m_lStreamPan(DSBPAN_CENTER)
{
    InitializeCriticalSection(&m_lock);
    m_thread.m_events.Add(this);
}

CDSoundObject::~CDSoundObject()
{
    // The worker releases its own buffer; it must be gone before the file.
    m_thread.Stop(true);
    for (IDirectSoundBuffer* pBuffer : m_buffers)
        if (pBuffer)
            pBuffer->Release();
    m_buffers.clear();
    delete m_pFile;
    m_pFile = nullptr;
    CloseReady();
    DeleteCriticalSection(&m_lock);
}

HRESULT CDSoundObject::Create(const std::wstring& strPath, unsigned int nBufferCount, bool bWhole, GUID guid3DAlgorithm)
{
    if (!m_pDirectSound)
        return CO_E_NOTINITIALIZED;
    if (nBufferCount == 0 || nBufferCount > kMaxSoundVoices || strPath.size() < 5 || m_pFile)
        return E_INVALIDARG;

    std::wstring extension = strPath.substr(strPath.size() - 3);
    for (wchar_t& c : extension)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    ISoundFile* pFile = CreateSoundFile(extension);
    if (!pFile)
        return E_INVALIDARG;

    // A wave file has no decoding worker to announce its data: it always
    // plays whole.
    m_bWhole = bWhole || dynamic_cast<CWaveFile*>(pFile) != nullptr;
    m_pFile = pFile;
    m_dwCreationFlags = kCreationFlags;
    auto fail = [this](HRESULT hr) {
        delete m_pFile;
        m_pFile = nullptr;
        return hr;
    };
    if (m_pFile->Open(strPath.c_str(), m_bWhole) != S_OK)
        return fail(E_FAIL);
    if (!m_bWhole)
        return S_OK; // the stream makes its buffer when it starts

    m_dwBufferBytes = m_pFile->GetSize();
    WAVEFORMATEX* pFormat = m_pFile->GetFormat();
    if (m_dwBufferBytes == 0 || !pFormat)
        return fail(E_FAIL);
    m_desc = DSBUFFERDESC();
    m_desc.dwSize = sizeof(DSBUFFERDESC);
    m_desc.dwFlags = m_dwCreationFlags;
    m_desc.dwBufferBytes = m_dwBufferBytes;
    m_desc.lpwfxFormat = pFormat;
    m_desc.guid3DAlgorithm = guid3DAlgorithm;

    std::vector<IDirectSoundBuffer*> buffers;
    try {
        buffers.assign(nBufferCount, nullptr);
        m_buffers.reserve(nBufferCount);
    } catch (const std::exception&) {
        return fail(E_OUTOFMEMORY);
    }
    auto release = [&buffers]() {
        for (IDirectSoundBuffer* pBuffer : buffers)
            if (pBuffer)
                pBuffer->Release();
    };
    HRESULT hr = m_pDirectSound->CreateSoundBuffer(&m_desc, &buffers[0], nullptr);
    for (unsigned int i = 1; SUCCEEDED(hr) && i < nBufferCount; ++i)
        hr = m_pDirectSound->DuplicateSoundBuffer(buffers[0], &buffers[i]);
    if (FAILED(hr)) {
        release();
        return fail(hr);
    }
    for (IDirectSoundBuffer* pBuffer : buffers)
        FillBufferWithSound(pBuffer);
    CLock lock(&m_lock);
    m_buffers = buffers;
    return S_OK;
}

int CDSoundObject::AddBuffer()
{
    IDirectSoundBuffer* pBuffer = nullptr;
    {
        CLock lock(&m_lock);
        if (m_buffers.size() >= kMaxSoundVoices)
            return -1;
        if (!m_buffers.empty() && m_buffers[0])
            m_pDirectSound->DuplicateSoundBuffer(m_buffers[0], &pBuffer);
    }
    if (!pBuffer && SUCCEEDED(m_pDirectSound->CreateSoundBuffer(&m_desc, &pBuffer, nullptr)))
        FillBufferWithSound(pBuffer);
    CLock lock(&m_lock);
    const int nIndex = static_cast<int>(m_buffers.size());
    try {
        m_buffers.push_back(pBuffer);
    } catch (const std::exception&) {
        if (pBuffer)
            pBuffer->Release();
        return -1;
    }
    return nIndex;
}

int CDSoundObject::GetFreeBufferIndex()
{
    if (!m_bWhole) {
        // A worker that has returned but whose end is not dispatched yet is
        // finished now, so its play gets its report before a new one starts.
        bool bDone;
        {
            CLock lock(&m_lock);
            bDone = m_bWorkerDone;
        }
        if (bDone && m_thread.IsRunning())
            FinishWorker(false);
        return 0;
    }
    {
        CLock lock(&m_lock);
        if (m_buffers.empty())
            return -1;
        for (size_t i = 0; i < m_buffers.size(); ++i) {
            IDirectSoundBuffer* pBuffer = m_buffers[i];
            DWORD dwStatus = 0, dwPlay = 0, dwWrite = 0;
            if (pBuffer && SUCCEEDED(pBuffer->GetStatus(&dwStatus)) && !(dwStatus & DSBSTATUS_PLAYING) &&
                SUCCEEDED(pBuffer->GetCurrentPosition(&dwPlay, &dwWrite)) && dwPlay == 0)
                return static_cast<int>(i);
        }
    }
    return AddBuffer();
}

IDirectSoundBuffer* CDSoundObject::GetBuffer(int nIndex)
{
    CLock lock(&m_lock);
    return BufferAt(nIndex);
}

IDirectSoundBuffer* CDSoundObject::BufferAt(int nIndex) const
{
    return nIndex >= 0 && static_cast<size_t>(nIndex) < m_buffers.size() ? m_buffers[nIndex] : nullptr;
}

bool CDSoundObject::IsBusy(int nIndex)
{
    if (!m_bWhole && nIndex == 0 && m_thread.IsRunning())
        return true; // a stream start or a stream under way
    CLock lock(&m_lock);
    IDirectSoundBuffer* pBuffer = BufferAt(nIndex);
    DWORD dwStatus = 0, dwPlay = 0, dwWrite = 0;
    if (!pBuffer || FAILED(pBuffer->GetStatus(&dwStatus)))
        return false;
    if (dwStatus & DSBSTATUS_PLAYING)
        return true;
    return SUCCEEDED(pBuffer->GetCurrentPosition(&dwPlay, &dwWrite)) && dwPlay != 0;
}

bool CDSoundObject::IsStreaming()
{
    CLock lock(&m_lock);
    return m_bStreaming;
}

size_t CDSoundObject::GetBufferCount()
{
    CLock lock(&m_lock);
    return m_buffers.size();
}

HRESULT CDSoundObject::Play(int nIndex, DWORD dwFlags)
{
    if (!m_bWhole) {
        {
            CLock lock(&m_lock);
            m_bStopRequested = false;
            if (m_bStreaming && !m_buffers.empty()) {
                m_buffers[0]->Play(0, 0, DSBPLAY_LOOPING); // continues where it stands
                return E_FAIL;
            }
        }
        // A start still waiting for its data, or an end not yet dispatched.
        if (m_thread.IsRunning() || !m_pFile)
            return E_FAIL;
        CloseReady();
        m_hReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!m_hReady)
            return E_FAIL;
        {
            CLock lock(&m_lock);
            m_bReadySeen = false;
            m_bWorkerDone = false;
        }
        m_pFile->SetReadTracer(this);
        m_pFile->SetLoop((dwFlags & DSBPLAY_LOOPING) != 0);
        m_pFile->ResetFile();
        if (!m_thread.Start(this, this)) {
            CloseReady();
            return E_FAIL;
        }
        return S_OK;
    }

    {
        CLock lock(&m_lock);
        if (m_buffers.empty())
            return CO_E_NOTINITIALIZED;
    }
    IDirectSoundBuffer* pBuffer = GetBuffer(nIndex);
    if (!pBuffer)
        return E_FAIL;
    bool bRestored = false;
    HRESULT hr = RestoreBuffer(pBuffer, &bRestored);
    if (FAILED(hr))
        return hr;
    if (bRestored) {
        hr = FillBufferWithSound(pBuffer);
        if (FAILED(hr))
            return hr;
    }
    pBuffer->Play(0, 0, dwFlags);
    return bRestored ? S_OK : S_FALSE;
}

HRESULT CDSoundObject::Pause(int nIndex)
{
    HRESULT hr;
    {
        CLock lock(&m_lock);
        if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_buffers.size())
            return CO_E_NOTINITIALIZED;
        if (!m_buffers[nIndex])
            return E_FAIL;
        hr = m_buffers[nIndex]->Stop();
    }
    if (IDSoundObjectEvent* pSink = GetSoundObjectEventSink())
        pSink->OnSoundPaused(this, nIndex);
    return hr;
}

HRESULT CDSoundObject::Stop(int nIndex)
{
    HRESULT hr = S_OK;
    if (!m_bWhole) {
        bool bActive = m_thread.IsRunning();
        {
            CLock lock(&m_lock);
            if (nIndex != 0 || (!bActive && m_buffers.empty()))
                return CO_E_NOTINITIALIZED;
            m_bStopRequested = true;
            if (!m_buffers.empty()) {
                hr = m_buffers[0]->SetCurrentPosition(0);
                m_buffers[0]->Stop();
            }
        }
        // The worker sees its stop event, releases the stream buffer and
        // returns; a start still waiting for data is cancelled the same way.
        FinishWorker(true);
        {
            CLock lock(&m_lock);
            m_bStreaming = m_bStreamStarted = m_bReadySeen = m_bStopRequested = false;
        }
    } else {
        CLock lock(&m_lock);
        if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_buffers.size())
            return CO_E_NOTINITIALIZED;
        if (!m_buffers[nIndex])
            return E_FAIL;
        hr = m_buffers[nIndex]->SetCurrentPosition(0);
        m_buffers[nIndex]->Stop();
    }
    if (IDSoundObjectEvent* pSink = GetSoundObjectEventSink())
        pSink->OnSoundStopped(this, nIndex);
    return hr;
}

HRESULT CDSoundObject::StopAll()
{
    CLock lock(&m_lock);
    if (m_buffers.empty())
        return CO_E_NOTINITIALIZED;
    HRESULT hr = S_OK;
    for (IDirectSoundBuffer* pBuffer : m_buffers) {
        if (!pBuffer)
            continue;
        hr |= pBuffer->SetCurrentPosition(0);
        pBuffer->Stop();
    }
    return hr;
}

bool CDSoundObject::IsPlaying(int nIndex)
{
    CLock lock(&m_lock);
    DWORD dwStatus = 0;
    IDirectSoundBuffer* pBuffer = BufferAt(nIndex);
    return m_bWhole && pBuffer && SUCCEEDED(pBuffer->GetStatus(&dwStatus)) && (dwStatus & DSBSTATUS_PLAYING);
}

HRESULT CDSoundObject::Rewind(int nIndex)
{
    CLock lock(&m_lock);
    IDirectSoundBuffer* pBuffer = BufferAt(nIndex);
    return m_bWhole && pBuffer ? pBuffer->SetCurrentPosition(0) : E_FAIL;
}

HRESULT CDSoundObject::SetLevel(int nIndex, LONG lVolume, LONG lPan)
{
    CLock lock(&m_lock);
    if (!m_bWhole) {
        m_lStreamVolume = lVolume;
        m_lStreamPan = lPan;
        if (m_buffers.empty())
            return S_FALSE;
        nIndex = 0;
    }
    IDirectSoundBuffer* pBuffer = BufferAt(nIndex);
    if (!pBuffer)
        return E_FAIL;
    const HRESULT hr = pBuffer->SetVolume(lVolume);
    return FAILED(hr) ? hr : pBuffer->SetPan(lPan);
}

HRESULT CDSoundObject::RestoreBuffer(IDirectSoundBuffer* pBuffer, bool* pbRestored)
{
    if (!pBuffer)
        return CO_E_NOTINITIALIZED;
    if (pbRestored)
        *pbRestored = false;
    DWORD dwStatus = 0;
    HRESULT hr = pBuffer->GetStatus(&dwStatus);
    if (FAILED(hr))
        return hr;
    if (!(dwStatus & DSBSTATUS_BUFFERLOST))
        return S_FALSE;
    for (int i = 0; pBuffer->Restore() == DSERR_BUFFERLOST; ++i) {
        if (i == kRestoreTries)
            return DSERR_BUFFERLOST;
        Sleep(10);
    }
    if (pbRestored)
        *pbRestored = true;
    return S_OK;
}

BYTE CDSoundObject::SilenceByte()
{
    WAVEFORMATEX* pFormat = m_pFile ? m_pFile->GetFormat() : nullptr;
    return pFormat && pFormat->wBitsPerSample == 8 ? 0x80 : 0;
}

HRESULT CDSoundObject::FillBufferWithSound(IDirectSoundBuffer* pBuffer)
{
    if (!pBuffer || !m_pFile)
        return CO_E_NOTINITIALIZED;
    HRESULT hr = RestoreBuffer(pBuffer, nullptr);
    if (FAILED(hr))
        return hr;
    void* pData = nullptr;
    DWORD dwBytes = 0;
    hr = pBuffer->Lock(0, m_dwBufferBytes, &pData, &dwBytes, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    m_pFile->ResetFile();
    DWORD dwRead = 0;
    hr = m_pFile->Read(static_cast<BYTE*>(pData), dwBytes, &dwRead);
    if (SUCCEEDED(hr) && dwRead < dwBytes)
        std::memset(static_cast<BYTE*>(pData) + dwRead, SilenceByte(), dwBytes - dwRead);
    pBuffer->Unlock(pData, dwBytes, nullptr, 0);
    return FAILED(hr) ? hr : S_OK;
}

void CDSoundObject::CloseReady()
{
    if (m_hReady) {
        CloseHandle(m_hReady);
        m_hReady = nullptr;
    }
}

void CDSoundObject::FinishWorker(bool bStopped)
{
    if (bStopped) {
        CLock lock(&m_lock);
        m_bStopRequested = true;
    }
    // Every wait of the worker watches the stop event: it returns at once.
    m_thread.Stop(true);
    m_thread.m_events.Fire(&IThreadEvent::OnThreadExit);
}

void CDSoundObject::OnThreadMessage(UINT message, WPARAM, LPARAM)
{
    if (message != WM_SOUND_DATA_READY || !m_hReady)
        return;
    bool bSeen;
    {
        CLock lock(&m_lock);
        bSeen = m_bReadySeen;
    }
    if (!bSeen)
        SetEvent(m_hReady);
}

void CDSoundObject::OnThreadExit()
{
    bool bStarted, bStopped;
    {
        CLock lock(&m_lock);
        bStarted = m_bStreamStarted;
        bStopped = m_bStopRequested;
        m_bStreaming = m_bStreamStarted = m_bReadySeen = m_bStopRequested = false;
        m_bWorkerDone = false;
    }
    CloseReady();
    if (bStarted && !bStopped)
        if (IDSoundObjectEvent* pSink = GetSoundObjectEventSink())
            pSink->OnSoundFinished(this, 0);
}

bool CDSoundObject::WaitForBlock(HANDLE hStopEvent)
{
    // The decoder normally finishes a block long before half of the buffer
    // has played; a read now would take a partial block for the end.
    CMp3File* pMp3 = dynamic_cast<CMp3File*>(m_pFile);
    while (pMp3 && !pMp3->IsBlockComplete())
        if (WaitForSingleObject(hStopEvent, kBlockPollMs) != WAIT_TIMEOUT)
            return false;
    return WaitForSingleObject(hStopEvent, 0) == WAIT_TIMEOUT;
}

bool CDSoundObject::PlayUntil(IDirectSoundBuffer* pBuffer, DWORD dwFrom, DWORD dwDistance, HANDLE hStopEvent)
{
    // The play cursor travels dwDistance bytes from dwFrom (modulo the
    // buffer); position notifications are not re-armed on a playing buffer.
    DWORD dwTravelled = 0, dwLast = dwFrom;
    while (dwTravelled < dwDistance) {
        if (WaitForSingleObject(hStopEvent, kCursorPollMs) != WAIT_TIMEOUT)
            return false;
        DWORD dwPlay = 0, dwWrite = 0;
        if (FAILED(pBuffer->GetCurrentPosition(&dwPlay, &dwWrite)))
            return false;
        dwTravelled += (dwPlay + m_dwBufferBytes - dwLast) % m_dwBufferBytes;
        dwLast = dwPlay;
    }
    return true;
}

void CDSoundObject::EndStream(IDirectSoundBuffer* pBuffer, HANDLE hEnd, HANDLE hMiddle)
{
    {
        CLock lock(&m_lock);
        for (auto it = m_buffers.begin(); it != m_buffers.end(); ++it)
            if (*it == pBuffer) {
                m_buffers.erase(it);
                break;
            }
        m_bStreaming = false;
    }
    pBuffer->Stop();
    pBuffer->Release();
    CloseHandle(hEnd);
    CloseHandle(hMiddle);
}

unsigned int CDSoundObject::Run(HANDLE hStopEvent, HWND)
{
    struct DoneMark {
        CDSoundObject* p;
        ~DoneMark()
        {
            CLock lock(&p->m_lock);
            p->m_bWorkerDone = true;
        }
    } done{this};

    if (!m_pFile)
        return 0;
    bool bSeen;
    {
        CLock lock(&m_lock);
        bSeen = m_bReadySeen;
    }
    if (!bSeen) {
        const HANDLE handles[2] = {hStopEvent, m_hReady};
        if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        CLock lock(&m_lock);
        m_bReadySeen = true;
    }
    WAVEFORMATEX* pFormat = m_pFile->GetFormat();
    m_dwBufferBytes = m_pFile->GetSize() & ~3u;
    if (!pFormat || pFormat->nBlockAlign == 0 || m_dwBufferBytes < 8)
        return 0; // the decoder failed
    m_desc = DSBUFFERDESC();
    m_desc.dwSize = sizeof(DSBUFFERDESC);
    m_desc.dwFlags = m_dwCreationFlags;
    m_desc.dwBufferBytes = m_dwBufferBytes;
    m_desc.lpwfxFormat = pFormat;

    IDirectSoundBuffer* pBuffer = nullptr;
    if (FAILED(m_pDirectSound->CreateSoundBuffer(&m_desc, &pBuffer, nullptr)))
        return 0;
    const DWORD dwBytes = m_dwBufferBytes;
    const DWORD dwHalf = dwBytes / 2;
    HANDLE hEnd = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE hMiddle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    IDirectSoundNotify* pNotify = nullptr;
    DSBPOSITIONNOTIFY positions[2] = {{dwBytes - 1, hEnd}, {dwHalf, hMiddle}};
    bool bNotified = hEnd && hMiddle &&
                     SUCCEEDED(pBuffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&pNotify)));
    if (bNotified) {
        bNotified = SUCCEEDED(pNotify->SetNotificationPositions(2, positions));
        pNotify->Release();
    }
    if (!bNotified) {
        if (hEnd)
            CloseHandle(hEnd);
        if (hMiddle)
            CloseHandle(hMiddle);
        pBuffer->Release();
        return 0;
    }
    {
        CLock lock(&m_lock);
        pBuffer->SetVolume(m_lStreamVolume);
        pBuffer->SetPan(m_lStreamPan);
        try {
            m_buffers.push_back(pBuffer);
        } catch (const std::exception&) {
            CloseHandle(hEnd);
            CloseHandle(hMiddle);
            pBuffer->Release();
            return 0;
        }
    }

    const BYTE silence = SilenceByte();
    void* pData = nullptr;
    DWORD dwLocked = 0, dwRead = 0;
    if (!WaitForBlock(hStopEvent) || FAILED(pBuffer->Lock(0, dwBytes, &pData, &dwLocked, nullptr, nullptr, 0))) {
        EndStream(pBuffer, hEnd, hMiddle);
        return 0;
    }
    BYTE* pBytes = static_cast<BYTE*>(pData);
    if (FAILED(m_pFile->Read(pBytes, dwLocked, &dwRead)) || dwRead == 0) {
        pBuffer->Unlock(pData, dwLocked, nullptr, 0);
        EndStream(pBuffer, hEnd, hMiddle);
        return 0;
    }
    // A sound shorter than the buffer sits at its end, silence before it.
    DWORD dwStart = 0;
    if (dwRead < dwLocked) {
        dwRead -= dwRead % pFormat->nBlockAlign;
        dwStart = dwLocked - dwRead;
        std::memmove(pBytes + dwStart, pBytes, dwRead);
        std::memset(pBytes, silence, dwStart);
    }
    pBuffer->SetCurrentPosition(dwStart);
    pBuffer->Unlock(pData, dwLocked, nullptr, 0);
    {
        CLock lock(&m_lock);
        if (m_bStopRequested || WaitForSingleObject(hStopEvent, 0) != WAIT_TIMEOUT) {
            m_bStreaming = false;
        } else {
            pBuffer->Play(0, 0, DSBPLAY_LOOPING);
            m_bStreaming = m_bStreamStarted = true;
        }
    }
    if (dwStart != 0) {
        PlayUntil(pBuffer, dwStart, dwRead, hStopEvent);
        EndStream(pBuffer, hEnd, hMiddle);
        return 0;
    }

    // Refill loop: the half just played is read while the other one plays.
    for (;;) {
        const HANDLE handles[3] = {hStopEvent, hEnd, hMiddle};
        const DWORD dwWait = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (dwWait != WAIT_OBJECT_0 + 1 && dwWait != WAIT_OBJECT_0 + 2)
            break;
        const DWORD dwOffset = dwWait == WAIT_OBJECT_0 + 2 ? 0 : dwHalf;
        ResetEvent(dwOffset == 0 ? hMiddle : hEnd);
        if (!WaitForBlock(hStopEvent) || FAILED(pBuffer->Lock(0, dwBytes, &pData, &dwLocked, nullptr, nullptr, 0)))
            break;
        pBytes = static_cast<BYTE*>(pData);
        dwRead = 0;
        const HRESULT hr = m_pFile->Read(pBytes + dwOffset, dwHalf, &dwRead);
        if (FAILED(hr))
            dwRead = 0;
        if (dwRead < dwHalf)
            std::memset(pBytes + dwOffset + dwRead, silence, dwHalf - dwRead);
        pBuffer->Unlock(pData, dwLocked, nullptr, 0);
        if (dwRead == dwHalf)
            continue;

        // The data ends at dwOffset + dwRead: play up to there, the half
        // that is playing now included.
        DWORD dwPlay = 0, dwWrite = 0;
        if (FAILED(pBuffer->GetCurrentPosition(&dwPlay, &dwWrite)))
            break;
        DWORD dwDistance;
        if (dwPlay >= dwOffset && dwPlay < dwOffset + dwHalf)
            dwDistance = dwPlay < dwOffset + dwRead ? dwOffset + dwRead - dwPlay : 0; // late refill
        else
            dwDistance = (dwOffset + dwRead + dwBytes - dwPlay) % dwBytes;
        PlayUntil(pBuffer, dwPlay, dwDistance, hStopEvent);
        break;
    }
    EndStream(pBuffer, hEnd, hMiddle);
    return 0;
}

} // namespace Game
} // namespace Veld
