#include "MciSound.h"

#include <cwchar>
#include <new>

namespace Veld {
namespace Game {

namespace {
const size_t kMaxPath = 255;
} // namespace

CSound::CSound()
{
    // Without the window plays still happen, but never loop.
    m_window.Create(static_cast<Client::Utility::IMessageWindowCallback*>(this));
}

CSound::~CSound()
{
    m_window.Destroy(false);
    CloseDevices();
}

void CSound::CloseDevices()
{
    // Open devices would keep their files: a later player could not open
    // the same file again.
    for (SoundEntry& entry : m_sounds) {
        if (entry.nDeviceId == kInvalidSoundDevice)
            continue;
        SendCommand(entry.nDeviceId, MCI_STOP, MCI_WAIT, 0);
        SendCommand(entry.nDeviceId, MCI_CLOSE, MCI_WAIT, 0);
        entry.nDeviceId = kInvalidSoundDevice;
    }
    m_sounds.clear();
}

MCIERROR CSound::SendCommand(UINT nDeviceId, UINT nMessage, DWORD_PTR dwFlags, DWORD_PTR dwParam)
{
    return mciSendCommandW(nDeviceId, nMessage, dwFlags, dwParam);
}

void CSound::PlayWave(const wchar_t* pszPath)
{
    sndPlaySoundW(pszPath, SND_ASYNC);
}

CSound::SoundEntry* CSound::FindEntry(UINT nDeviceId)
{
    if (nDeviceId == kInvalidSoundDevice)
        return nullptr; // what MCI reads as every device
    for (SoundEntry& entry : m_sounds)
        if (entry.nDeviceId == nDeviceId)
            return &entry;
    return nullptr;
}

UINT CSound::Play(const wchar_t* pszPath, int nLoops)
{
    if (!pszPath)
        return kInvalidSoundDevice;
    const size_t nLength = std::wcslen(pszPath);
    if (nLength > kMaxPath)
        return kInvalidSoundDevice;
    for (SoundEntry& entry : m_sounds) {
        if (std::wcscmp(entry.szPath, pszPath) == 0) {
            const UINT nDeviceId = entry.nDeviceId;
            Replay(nDeviceId, nLoops);
            return nDeviceId;
        }
    }

    UINT nDeviceId = kInvalidSoundDevice;
    MCI_OPEN_PARMSW open = {};
    open.lpstrElementName = pszPath;
    if (SendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, reinterpret_cast<DWORD_PTR>(&open)) == 0 &&
        open.wDeviceID != 0) {
        nDeviceId = open.wDeviceID;
        MCI_PLAY_PARMS play = {};
        play.dwCallback = reinterpret_cast<DWORD_PTR>(m_window.GetHandle());
        SendCommand(nDeviceId, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
    }
    SoundEntry entry = {};
    entry.nDeviceId = nDeviceId;
    entry.nLoops = nLoops;
    entry.nRemaining = nLoops;
    std::wmemcpy(entry.szPath, pszPath, nLength + 1);
    try {
        m_sounds.push_back(entry);
    } catch (const std::bad_alloc&) {
        if (nDeviceId != kInvalidSoundDevice)
            SendCommand(nDeviceId, MCI_CLOSE, MCI_WAIT, 0);
        return kInvalidSoundDevice;
    }
    return nDeviceId;
}

void CSound::Replay(UINT nDeviceId, int nLoops)
{
    SoundEntry* pEntry = FindEntry(nDeviceId);
    if (!pEntry)
        return;
    pEntry->nLoops = nLoops;
    pEntry->nRemaining = nLoops;
    pEntry->bStopped = false;
    Restart(nDeviceId);
}

void CSound::Stop(UINT nDeviceId)
{
    if (nDeviceId == kInvalidSoundDevice)
        return;
    SendCommand(nDeviceId, MCI_STOP, MCI_WAIT, 0);
    if (SoundEntry* pEntry = FindEntry(nDeviceId))
        pEntry->bStopped = true;
}

void CSound::StopAll()
{
    for (SoundEntry& entry : m_sounds)
        Stop(entry.nDeviceId);
}

void CSound::Restart(UINT nDeviceId)
{
    SendCommand(nDeviceId, MCI_STOP, MCI_WAIT, 0);
    MCI_SEEK_PARMS seek = {}; // Wine refuses a null block
    SendCommand(nDeviceId, MCI_SEEK, MCI_SEEK_TO_START, reinterpret_cast<DWORD_PTR>(&seek));
    MCI_PLAY_PARMS play = {};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(m_window.GetHandle());
    SendCommand(nDeviceId, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play));
}

LRESULT CSound::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool*)
{
    if (message != MM_MCINOTIFY || wParam != MCI_NOTIFY_SUCCESSFUL)
        return 0;
    const UINT nDeviceId = static_cast<UINT>(lParam);
    SoundEntry* pEntry = FindEntry(nDeviceId);
    if (!pEntry || pEntry->bStopped)
        return 0;
    if (pEntry->nLoops > 0 && --pEntry->nRemaining <= 0)
        return 0;
    Restart(nDeviceId);
    return 0;
}

} // namespace Game
} // namespace Veld
