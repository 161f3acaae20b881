// MP3 files: decoded whole when opened, or streamed block by block by a
// decoding worker thread.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "Mp3Decoder.h"
#include "SoundFile.h"
#include "Thread.h"

namespace Veld {
namespace Game {

struct Mp3PcmChunk {
    BYTE* data; // owned, array new
    DWORD size;
};

class CMp3File : public ISoundFile,
                 public Client::Utility::IWorkThread,
                 public Client::Utility::ICallerThread,
                 private IMp3DecodeSink {
public:
    CMp3File();
    /// Ends the decoding worker (stop event, then the 1000 ms wait) first.
    ~CMp3File() override;

    CMp3File(const CMp3File&) = delete;
    CMp3File& operator=(const CMp3File&) = delete;

    /// whole: decodes the file now (E_FAIL when it cannot be read or holds
    /// no MPEG frame). Streamed: only records the path; ResetFile decodes.
    HRESULT Open(const wchar_t* path, bool whole) override;
    /// Frees the decoded chunks.
    HRESULT Close() override;
    /// Whole: copies from the start of the sound on every call. Streamed:
    /// takes what the block holds now, never waits.
    HRESULT Read(BYTE* buffer, DWORD size, DWORD* bytesRead) override;
    /// Streamed: ends the running worker and starts decoding from the start.
    HRESULT ResetFile() override;
    WAVEFORMATEX* GetFormat() override { return &m_wfx; }
    /// Whole: the PCM bytes decoded; streamed: the block size.
    DWORD GetSize() override { return m_bWhole ? m_dwTotalBytes : kMp3BlockSize; }
    /// The reader; when it is also an ICallerThread it receives the worker's
    /// messages, WM_SOUND_DATA_READY among them.
    void SetReadTracer(IReadTracer* tracer) override { m_pReadTracer = tracer; }
    /// Streamed: the next ResetFile's decode loops from the first audio
    /// sample into the same block and never finishes.
    void SetLoop(bool loop) override { m_bLoopNext = loop; }

    /// Streamed: the block is full, or holds the last bytes of the decode, so
    /// a read now gets all that the decoder will put there.
    bool IsBlockComplete() const { return m_block.IsComplete(); }

    /// The decoding worker's body.
    unsigned int Run(HANDLE hStopEvent, HWND hNotifyWindow) override;
    /// Ignores the worker's messages.
    void OnThreadMessage(UINT, WPARAM, LPARAM) override {}

    static ISoundFile* Create() { return new (std::nothrow) CMp3File; }

private:
    HRESULT DecodeFile();
    void SetupFormat(unsigned channels, unsigned sampleRate, unsigned width);
    void StopWorker();
    void FreeChunks();
    bool AppendChunk(const BYTE* data, DWORD size);
    void PostDataReady();

    void OnFormat(unsigned channels, unsigned sampleRate) override;
    uint8_t* NextOutput() override;
    bool OnFrame(uint32_t bytes) override;

    WAVEFORMATEX m_wfx;
    DWORD m_dwTotalBytes;
    Client::Utility::CThread* m_pThread;
    HWND m_hNotifyWindow;
    HANDLE m_hStopEvent;
    std::wstring m_path;
    bool m_bWhole;
    bool m_bLoopNext; // SetLoop's, taken by ResetFile
    bool m_bLoop;     // the running stream's
    IReadTracer* m_pReadTracer;
    bool m_bReadyPosted;
    HANDLE m_hConsumed;
    std::vector<Mp3PcmChunk> m_chunks;
    CMp3Block m_block;             // m_pBlock, m_dwBlockFill, m_dwBlockReadPos
    std::atomic<bool> m_bBusy;     // a decode of this file runs
    unsigned int m_nFramesToCheck; // frames until the next look at the stop event
};

} // namespace Game
} // namespace Veld
