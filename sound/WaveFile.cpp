#include "WaveFile.h"

#include <cstring>
#include <new>

#include "EngineLog.h"

namespace Veld {
namespace Game {

bool IsPlayableWaveFormat(const WAVEFORMATEX& format)
{
    const DWORD channels = format.nChannels;
    const DWORD bits = format.wBitsPerSample;
    const DWORD rate = format.nSamplesPerSec;
    return format.wFormatTag == WAVE_FORMAT_PCM && (bits == 8 || bits == 16) && (channels == 1 || channels == 2) &&
           rate >= 100 && rate <= 200000 && format.nBlockAlign == channels * bits / 8 &&
           format.nAvgBytesPerSec == rate * format.nBlockAlign;
}

CWaveFile::CWaveFile() : m_pwfx(nullptr), m_hMMIO(nullptr), m_ck(), m_ckRiff(), m_dwSize(0) {}

CWaveFile::~CWaveFile()
{
    Close();
    FreeFormat();
}

void CWaveFile::FreeFormat()
{
    delete[] reinterpret_cast<BYTE*>(m_pwfx);
    m_pwfx = nullptr;
}

HRESULT CWaveFile::Open(const wchar_t* path, bool)
{
    if (!path)
        return E_INVALIDARG;
    Close(); // reopening must not leak the old handle
    FreeFormat();

    m_hMMIO = mmioOpenW(const_cast<wchar_t*>(path), nullptr, MMIO_ALLOCBUF | MMIO_READ);
    if (!m_hMMIO)
        return E_FAIL;

    HRESULT hr = ReadMMIO();
    if (SUCCEEDED(hr))
        hr = ResetFile();
    if (FAILED(hr)) {
        mmioClose(m_hMMIO, 0);
        m_hMMIO = nullptr;
        return hr;
    }
    m_dwSize = m_ck.cksize;
    return S_OK;
}

HRESULT CWaveFile::ReadMMIO()
{
    m_pwfx = nullptr;

    if (mmioDescend(m_hMMIO, &m_ckRiff, nullptr, 0) != MMSYSERR_NOERROR)
        return E_FAIL;
    if (m_ckRiff.ckid != FOURCC_RIFF || m_ckRiff.fccType != mmioFOURCC('W', 'A', 'V', 'E'))
        return E_FAIL;

    MMCKINFO ckIn = {};
    ckIn.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(m_hMMIO, &ckIn, &m_ckRiff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return E_FAIL;

    // 18 bytes whatever the chunk's size: a 16-byte PCM chunk lends the last
    // two from what follows, and cbSize is cleared below. Only PCM is kept.
    WAVEFORMATEX format;
    if (mmioRead(m_hMMIO, reinterpret_cast<HPSTR>(&format), sizeof(format)) != static_cast<LONG>(sizeof(format)))
        return E_FAIL;

    if (!IsPlayableWaveFormat(format))
        return E_FAIL;
    m_pwfx = reinterpret_cast<WAVEFORMATEX*>(new (std::nothrow) BYTE[sizeof(WAVEFORMATEX)]);
    if (!m_pwfx)
        return E_FAIL;
    std::memcpy(m_pwfx, &format, sizeof(format));
    m_pwfx->cbSize = 0;

    if (mmioAscend(m_hMMIO, &ckIn, 0) != MMSYSERR_NOERROR) {
        FreeFormat();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CWaveFile::ResetFile()
{
    if (!m_hMMIO) {
        WriteEngineLog("CWaveFile::ResetFile notinitialized - NULL == m_hMMIO");
        return CO_E_NOTINITIALIZED;
    }
    if (mmioSeek(m_hMMIO, m_ckRiff.dwDataOffset + sizeof(FOURCC), SEEK_SET) == -1) {
        WriteEngineLog("CWaveFile::ResetFile failed - -1 == mmioSeek(m_hMMIO, m_ckRiff.dwDataOffset + sizeof(FOURCC), "
                       "SEEK_SET)");
        return E_FAIL;
    }
    m_ck.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(m_hMMIO, &m_ck, &m_ckRiff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
        WriteEngineLog("CWaveFile::ResetFile failed - mmioDescend(m_hMMIO, &m_ck, &m_ckRiff, MMIO_FINDCHUNK)");
        return E_FAIL;
    }
    WriteEngineLog("CWaveFile::ResetFile Ok");
    return S_OK;
}

HRESULT CWaveFile::Read(BYTE* buffer, DWORD size, DWORD* bytesRead)
{
    if (!m_hMMIO)
        return CO_E_NOTINITIALIZED;
    if (!buffer || size == 0)
        return E_INVALIDARG;
    if (bytesRead)
        *bytesRead = 0;

    MMIOINFO info;
    if (mmioGetInfo(m_hMMIO, &info, 0) != MMSYSERR_NOERROR)
        return E_FAIL;

    const DWORD n = size < m_ck.cksize ? size : m_ck.cksize;
    m_ck.cksize -= n;
    bool ended = false;
    for (DWORD done = 0; done < n;) {
        if (info.pchNext == info.pchEndRead) {
            if (mmioAdvance(m_hMMIO, &info, MMIO_READ) != MMSYSERR_NOERROR || info.pchNext == info.pchEndRead) {
                ended = true; // the file ends before the data chunk does
                break;
            }
        }
        DWORD span = static_cast<DWORD>(info.pchEndRead - info.pchNext);
        if (span > n - done)
            span = n - done;
        std::memcpy(buffer + done, info.pchNext, span);
        info.pchNext += span;
        done += span;
    }

    if (mmioSetInfo(m_hMMIO, &info, 0) != MMSYSERR_NOERROR || ended)
        return E_FAIL;
    if (bytesRead)
        *bytesRead = n;
    return S_OK;
}

HRESULT CWaveFile::Close()
{
    if (m_hMMIO) {
        mmioClose(m_hMMIO, 0);
        m_hMMIO = nullptr;
    }
    return S_OK;
}

} // namespace Game
} // namespace Veld
