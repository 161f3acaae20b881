#include "Mp3File.h"

#include <cstring>
#include <new>

namespace Veld {
namespace Game {

using Client::Utility::CThread;
using Client::Utility::ICallerThread;
using Client::Utility::IThreadEvent;

namespace {

// The stop event is looked at every 32 frames (under a second of audio, a
// few milliseconds of decoding), not every frame: a wait costs a system call.
const unsigned int kStopCheckFrames = 32;

} // namespace

CMp3File::CMp3File()
    : m_wfx(), m_dwTotalBytes(0), m_pThread(nullptr), m_hNotifyWindow(nullptr), m_hStopEvent(nullptr), m_bWhole(true),
      m_bLoopNext(false), m_bLoop(false), m_pReadTracer(nullptr), m_bReadyPosted(false), m_hConsumed(nullptr),
      m_bBusy(false), m_nFramesToCheck(0)
{
}

CMp3File::~CMp3File()
{
    StopWorker();
    if (m_hConsumed)
        CloseHandle(m_hConsumed);
    FreeChunks();
    m_block.Free();
}

void CMp3File::StopWorker()
{
    if (!m_pThread)
        return;
    // The worker watches its stop event between frames and while it waits
    // for the reader, so it ends within the wait and is never killed inside
    // libmad or the allocator.
    if (m_pThread->IsRunning())
        m_pThread->Stop(true);
    m_pThread->m_events.Fire(&IThreadEvent::OnThreadExit);
    delete m_pThread;
    m_pThread = nullptr;
    m_hStopEvent = nullptr;
    m_hNotifyWindow = nullptr;
}

void CMp3File::FreeChunks()
{
    for (Mp3PcmChunk& chunk : m_chunks)
        delete[] chunk.data;
    m_chunks.clear();
}

bool CMp3File::AppendChunk(const BYTE* data, DWORD size)
{
    Mp3PcmChunk chunk{new (std::nothrow) BYTE[size], size};
    if (!chunk.data)
        return false;
    std::memcpy(chunk.data, data, size);
    try {
        m_chunks.push_back(chunk);
    } catch (const std::bad_alloc&) {
        delete[] chunk.data;
        return false;
    }
    return true;
}

HRESULT CMp3File::Open(const wchar_t* path, bool whole)
{
    if (!path)
        return E_INVALIDARG;
    StopWorker(); // it reads the path and the mode
    m_bWhole = whole;
    m_path = path;
    if (!m_block.Allocate())
        return E_OUTOFMEMORY;
    if (whole) {
        const HRESULT hr = DecodeFile();
        m_block.Free();
        return hr;
    }
    return S_OK;
}

HRESULT CMp3File::Close()
{
    FreeChunks();
    return S_OK;
}

HRESULT CMp3File::Read(BYTE* buffer, DWORD size, DWORD* bytesRead)
{
    if (!buffer || size == 0)
        return E_INVALIDARG;

    if (m_bWhole) {
        if (bytesRead)
            *bytesRead = 0;
        DWORD total = 0;
        for (const Mp3PcmChunk& chunk : m_chunks) {
            const DWORD n = chunk.size < size - total ? chunk.size : size - total;
            std::memcpy(buffer + total, chunk.data, n);
            total += n;
            if (total == size)
                break;
        }
        if (bytesRead)
            *bytesRead = total;
        return S_OK;
    }

    bool released = false;
    const DWORD n = m_block.Take(buffer, size, &released);
    if (bytesRead)
        *bytesRead = n;
    if (released && m_hConsumed)
        SetEvent(m_hConsumed);
    return S_OK;
}

HRESULT CMp3File::ResetFile()
{
    if (m_bWhole)
        return S_OK;

    StopWorker();
    m_pThread = new (std::nothrow) CThread;
    if (!m_pThread)
        return E_FAIL;
    if (m_hConsumed)
        CloseHandle(m_hConsumed);
    m_hConsumed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!m_hConsumed)
        return E_FAIL;

    ICallerThread* caller = dynamic_cast<ICallerThread*>(m_pReadTracer);

    // No worker runs now, and the reader waits for the data-ready message.
    m_bBusy = false;
    m_bLoop = m_bLoopNext;
    m_block.Restart();
    m_bReadyPosted = false;
    m_pThread->Start(this, caller);
    return S_OK;
}

unsigned int CMp3File::Run(HANDLE hStopEvent, HWND hNotifyWindow)
{
    m_hStopEvent = hStopEvent;
    m_hNotifyWindow = hNotifyWindow;
    DecodeFile();
    return 1;
}

void CMp3File::PostDataReady()
{
    if (m_hNotifyWindow && IsWindow(m_hNotifyWindow))
        PostMessageW(m_hNotifyWindow, WM_SOUND_DATA_READY, 0, 0);
}

HRESULT CMp3File::DecodeFile()
{
    if (m_path.empty())
        return E_FAIL;
    bool idle = false;
    if (!m_bBusy.compare_exchange_strong(idle, true))
        return E_FAIL;

    HANDLE hFile = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        m_bBusy = false;
        return E_FAIL;
    }

    std::memset(&m_wfx, 0, sizeof(m_wfx));
    const DWORD size = GetFileSize(hFile, nullptr);
    HANDLE hMapping = CreateFileMappingW(hFile, nullptr, PAGE_READONLY, 0, size, nullptr);
    const void* view = hMapping ? MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, size) : nullptr;
    if (!view) {
        if (hMapping)
            CloseHandle(hMapping);
        CloseHandle(hFile);
        m_bBusy = false;
        if (!m_bWhole)
            PostDataReady(); // the reader learns of the failure from the empty format
        return E_FAIL;
    }

    if (m_bWhole)
        m_block.Restart();
    FreeChunks();
    m_dwTotalBytes = 0;
    m_nFramesToCheck = kStopCheckFrames;
    const uint32_t frames = Mp3Decode(static_cast<const uint8_t*>(view), size, *this, !m_bWhole && m_bLoop);

    HRESULT hr = S_OK;
    if (m_bWhole) {
        const DWORD fill = m_block.Fill();
        if (fill && !AppendChunk(m_block.Data(), fill))
            hr = E_OUTOFMEMORY;
        m_block.Recycle();
        if (frames == 0)
            hr = E_FAIL;
        if (FAILED(hr)) {
            FreeChunks();
            m_dwTotalBytes = 0;
        }
    } else if (WaitForSingleObject(m_hStopEvent, 0) != WAIT_OBJECT_0) {
        m_block.Finish();
        if (!m_bReadyPosted) { // a sound shorter than one block
            m_bReadyPosted = true;
            PostDataReady();
        }
    }

    UnmapViewOfFile(view);
    CloseHandle(hMapping);
    CloseHandle(hFile);
    m_bBusy = false;
    return hr;
}

void CMp3File::SetupFormat(unsigned channels, unsigned sampleRate, unsigned width)
{
    width &= ~7u;
    if (width == 0)
        width = 16;
    else if (width > 32)
        width = 32;
    m_wfx.wFormatTag = WAVE_FORMAT_PCM;
    m_wfx.nChannels = static_cast<WORD>(channels);
    m_wfx.nSamplesPerSec = static_cast<WORD>(sampleRate);
    m_wfx.nBlockAlign = static_cast<WORD>(channels * width / 8);
    m_wfx.nAvgBytesPerSec = channels * width * m_wfx.nSamplesPerSec / 8;
    m_wfx.wBitsPerSample = static_cast<WORD>(width);
    m_wfx.cbSize = 0;
}

void CMp3File::OnFormat(unsigned channels, unsigned sampleRate)
{
    SetupFormat(channels, sampleRate, 0);
}

uint8_t* CMp3File::NextOutput()
{
    return m_block.WritePointer();
}

bool CMp3File::OnFrame(uint32_t bytes)
{
    m_dwTotalBytes += bytes;
    const bool full = m_block.Commit(bytes);

    if (!m_bWhole && --m_nFramesToCheck == 0) {
        m_nFramesToCheck = kStopCheckFrames;
        if (WaitForSingleObject(m_hStopEvent, 0) != WAIT_TIMEOUT)
            return false;
    }
    if (!full)
        return true;
    if (bytes == 0)
        return false;

    if (m_bWhole) {
        // The full block becomes the chunk; decoding goes on in a new one.
        const DWORD fill = m_block.Fill();
        if (BYTE* data = m_block.Detach()) {
            try {
                m_chunks.push_back({data, fill});
                return true;
            } catch (const std::bad_alloc&) {
                delete[] data;
                return false;
            }
        }
        const bool kept = AppendChunk(m_block.Data(), fill);
        m_block.Recycle();
        return kept;
    }

    // Hand the block to the reader and wait until it has taken all of it.
    if (!m_hNotifyWindow || !IsWindow(m_hNotifyWindow))
        return false; // nobody can be told: the thread object let go of this worker
    if (!m_bReadyPosted) {
        m_bReadyPosted = true;
        PostDataReady();
    }
    const HANDLE handles[2] = {m_hConsumed, m_hStopEvent};
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0)
        return false;
    m_block.Recycle();
    ResetEvent(m_hConsumed);
    return true;
}

} // namespace Game
} // namespace Veld
