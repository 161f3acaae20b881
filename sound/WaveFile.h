// RIFF wave files read through the WinMM multimedia file functions.
#pragma once

#include "SoundFile.h"

namespace Veld {
namespace Game {

/// True for the wave formats the sound device plays: PCM, 8 or 16 bits, 1 or
/// 2 channels, 100 to 200,000 frames a second, with the block alignment and
/// byte rate those imply. Every wave file is checked by CWaveFile::Open.
bool IsPlayableWaveFormat(const WAVEFORMATEX& format);

class CWaveFile : public ISoundFile {
public:
    CWaveFile();
    ~CWaveFile() override;

    CWaveFile(const CWaveFile&) = delete;
    CWaveFile& operator=(const CWaveFile&) = delete;

    /// Opens path (closing a file already open) and positions at the first
    /// data byte; whole is ignored. E_FAIL for a format that cannot be played.
    HRESULT Open(const wchar_t* path, bool whole) override;
    HRESULT Close() override;
    HRESULT Read(BYTE* buffer, DWORD size, DWORD* bytesRead) override;
    /// Seeks back to the "data" chunk; writes one engine log line.
    HRESULT ResetFile() override;
    WAVEFORMATEX* GetFormat() override { return m_pwfx; }
    DWORD GetSize() override { return m_dwSize; }
    void SetReadTracer(IReadTracer*) override {}

    static ISoundFile* Create() { return new (std::nothrow) CWaveFile; }

private:
    HRESULT ReadMMIO();
    void FreeFormat();

    WAVEFORMATEX* m_pwfx;
    HMMIO m_hMMIO;
    MMCKINFO m_ck;
    MMCKINFO m_ckRiff;
    DWORD m_dwSize;
};

} // namespace Game
} // namespace Veld
