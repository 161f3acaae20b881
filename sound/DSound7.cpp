#include "DSound7.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "Mp3File.h"
#include "WaveFile.h"

namespace Veld {
namespace Game {

namespace {

const UINT_PTR kTickTimer = 1;

int Clamp(int nValue, int nLow, int nHigh)
{
    return std::min(std::max(nValue, nLow), nHigh);
}

} // namespace

LONG VolumeToMillibels(double dPercent)
{
    if (dPercent <= 0)
        return DSBVOLUME_MIN;
    const LONG lMillibels = std::lround(2000 * std::log10(std::min(dPercent, 100.0) / 100));
    return std::max<LONG>(lMillibels, DSBVOLUME_MIN);
}

LONG PanToMillibels(int nPan)
{
    nPan = Clamp(nPan, -100, 100);
    const LONG lFar = VolumeToMillibels(100 - std::abs(nPan)); // the far channel's attenuation
    return nPan < 0 ? lFar : -lFar;
}

CDSound7::CDSound7()
    : m_pDirectSound(nullptr), m_pSoundEvent(nullptr), m_nLastPlayId(0), m_nDispatching(0), m_bRetired(false),
      m_nMaster(100), m_bTicking(false)
{
    RegisterSoundFileType(L"mp3", &CMp3File::Create);
    RegisterSoundFileType(L"wav", &CWaveFile::Create);
    SetSoundObjectEventSink(this);
}

CDSound7::~CDSound7()
{
    Retire();
    m_tickWindow.Destroy(true);
    for (auto& entry : m_sounds) {
        delete entry.second;
        entry.second = nullptr;
    }
    if (m_pDirectSound) {
        m_pDirectSound->Release();
        m_pDirectSound = nullptr;
    }
    m_plays.clear();
    m_sounds.clear();
}

void CDSound7::Retire()
{
    if (m_bTicking)
        KillTimer(m_tickWindow.GetHandle(), kTickTimer);
    m_bTicking = false;
    m_pSoundEvent = nullptr;
    if (GetSoundObjectEventSink() == this)
        SetSoundObjectEventSink(nullptr);
    if (!m_bRetired)
        for (auto& entry : m_sounds)
            if (entry.second)
                entry.second->StopAll();
    m_bRetired = true;
}

bool CDSound7::CreateDirectSound(HWND hWnd)
{
    if (m_pDirectSound) {
        m_pDirectSound->Release();
        m_pDirectSound = nullptr;
    }
    if (FAILED(DirectSoundCreate(nullptr, &m_pDirectSound, nullptr))) {
        m_pDirectSound = nullptr;
        return false;
    }
    if (FAILED(m_pDirectSound->SetCooperativeLevel(hWnd, DSSCL_PRIORITY)))
        return false;
    SetPrimaryBufferFormat();
    return true;
}

HRESULT CDSound7::SetPrimaryBufferFormat()
{
    if (!m_pDirectSound)
        return CO_E_NOTINITIALIZED;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* pPrimary = nullptr;
    HRESULT hr = m_pDirectSound->CreateSoundBuffer(&desc, &pPrimary, nullptr);
    if (FAILED(hr))
        return hr;
    WAVEFORMATEX wfx = {};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = 22050;
    wfx.nAvgBytesPerSec = 88200;
    wfx.nBlockAlign = 4;
    wfx.wBitsPerSample = 16;
    hr = pPrimary->SetFormat(&wfx);
    pPrimary->Release();
    return FAILED(hr) ? hr : S_OK;
}

bool CDSound7::LoadSound(const std::wstring& strPath, const std::wstring& strName, bool bWhole,
                         unsigned int nBufferCount)
{
    if (!m_pDirectSound || m_bRetired || m_sounds.count(strName))
        return false;
    std::unique_ptr<CDSoundObject> pSound(new (std::nothrow) CDSoundObject(m_pDirectSound));
    if (!pSound)
        return false;
    // Nothing thrown inside may reach the client.
    try {
        if (FAILED(pSound->Create(strPath, nBufferCount, bWhole, GUID())))
            return false;
        m_sounds[strName] = pSound.get();
    } catch (const std::exception&) {
        return false;
    }
    pSound.release();
    return true;
}

int CDSound7::PlaySound(const std::wstring& strName, bool bLoop)
{
    CDSoundObject* pSound = FindSound(strName);
    if (!m_pDirectSound || m_bRetired || !pSound)
        return -1;
    // May report the end of a stream, and so call the client.
    const int nIndex = pSound->GetFreeBufferIndex();
    if (nIndex < 0 || m_bRetired)
        return -1;
    if (!pSound->IsBusy(nIndex)) {
        PlayRecord stale;
        TakeByBuffer(pSound, nIndex, &stale, true); // silenced by StopAllSounds, or ended since the last tick
    }
    const int nPlayId = ++m_nLastPlayId;
    const PlayRecord record = {nPlayId, pSound, nIndex, bLoop ? 1 : 0, 100.0, 0, false, false, {}};
    try {
        m_plays.push_back(record);
    } catch (const std::exception&) {
        return -1;
    }
    // A whole buffer takes its level before it sounds (an earlier play may
    // have left another); a stream's start keeps it for the buffer it makes,
    // while a refused start must not touch the running stream's.
    if (!pSound->IsStreamMode())
        Apply(record);
    if (FAILED(pSound->Play(nIndex, bLoop ? DSBPLAY_LOOPING : 0))) {
        EraseById(nPlayId);
        return -1;
    }
    if (pSound->IsStreamMode())
        Apply(record);
    UpdateTick();
    return nPlayId;
}

void CDSound7::StopSound(int nPlayId)
{
    const PlayRecord* pRecord = Find(nPlayId);
    if (!pRecord || m_bRetired)
        return;
    const PlayRecord record = *pRecord;
    record.sound->Stop(record.bufferIndex); // reports stopped: the client may call back
    EraseById(nPlayId);
}

void CDSound7::PauseSound(int nPlayId)
{
    PlayRecord* pRecord = Find(nPlayId);
    if (!pRecord || m_bRetired)
        return;
    pRecord->paused = true;
    pRecord->fade.active = false;
    pRecord->sound->Pause(pRecord->bufferIndex); // reports paused: the client may call back
}

void CDSound7::ResumeSound(int nPlayId)
{
    PlayRecord* pRecord = Find(nPlayId);
    if (!pRecord || m_bRetired)
        return;
    pRecord->paused = pRecord->halted = false;
    pRecord->sound->Play(pRecord->bufferIndex, pRecord->loop ? DSBPLAY_LOOPING : 0);
    UpdateTick();
}

void CDSound7::StopAllSounds()
{
    if (m_bRetired)
        return;
    for (PlayRecord& record : m_plays) {
        record.halted = true;
        record.fade.active = false;
    }
    for (auto& entry : m_sounds)
        if (entry.second)
            entry.second->StopAll();
}

void CDSound7::SetSoundEvent(ISoundExEvent* pSink)
{
    if (!m_bRetired)
        m_pSoundEvent = pSink;
}

bool CDSound7::SetVolume(int nPlayId, int nVolume)
{
    PlayRecord* pRecord = Find(nPlayId);
    if (!pRecord || m_bRetired)
        return false;
    pRecord->volume = Clamp(nVolume, 0, 100);
    pRecord->fade.active = false;
    Apply(*pRecord);
    return true;
}

bool CDSound7::SetPan(int nPlayId, int nPan)
{
    PlayRecord* pRecord = Find(nPlayId);
    if (!pRecord || m_bRetired)
        return false;
    pRecord->pan = Clamp(nPan, -100, 100);
    Apply(*pRecord);
    return true;
}

bool CDSound7::FadeSound(int nPlayId, int nTargetVolume, unsigned int nMilliseconds, bool bStopAtEnd)
{
    PlayRecord* pRecord = Find(nPlayId);
    if (!pRecord || m_bRetired)
        return false;
    const double dTarget = Clamp(nTargetVolume, 0, 100);
    pRecord->fade = {nMilliseconds > 0, bStopAtEnd, pRecord->volume, dTarget, GetTickCount(), nMilliseconds};
    if (nMilliseconds > 0) {
        UpdateTick();
        return true;
    }
    pRecord->volume = dTarget;
    Apply(*pRecord);
    if (bStopAtEnd)
        StopSound(nPlayId);
    return true;
}

void CDSound7::SetMasterVolume(int nVolume)
{
    if (!m_pDirectSound || m_bRetired)
        return;
    m_nMaster = Clamp(nVolume, 0, 100);
    for (const PlayRecord& record : m_plays)
        Apply(record);
}

void CDSound7::Apply(const PlayRecord& record)
{
    record.sound->SetLevel(record.bufferIndex, VolumeToMillibels(record.volume * m_nMaster / 100),
                           PanToMillibels(record.pan));
}

bool CDSound7::NeedsTick() const
{
    for (const PlayRecord& record : m_plays)
        if (record.fade.active || (!record.loop && !record.paused && !record.halted && !record.sound->IsStreamMode()))
            return true;
    return false;
}

void CDSound7::UpdateTick()
{
    const bool bNeeded = !m_bRetired && NeedsTick();
    if (bNeeded == m_bTicking)
        return;
    if (!bNeeded) {
        KillTimer(m_tickWindow.GetHandle(), kTickTimer);
        m_bTicking = false;
    } else if (m_tickWindow.GetHandle() || m_tickWindow.Create(this)) {
        m_bTicking = SetTimer(m_tickWindow.GetHandle(), kTickTimer, kTickMs, nullptr) != 0;
    }
}

void CDSound7::Tick()
{
    // Fade steps first; the stops and ends they find are reported after the
    // walk, each play looked up again (the client may change the list).
    std::vector<std::pair<int, int>> due;
    const DWORD dwNow = GetTickCount();
    for (PlayRecord& record : m_plays) {
        Fade& fade = record.fade;
        if (fade.active) {
            const DWORD dwElapsed = dwNow - fade.start;
            const double dDone = dwElapsed >= fade.ms ? 1.0 : double(dwElapsed) / fade.ms;
            record.volume = fade.from + (fade.to - fade.from) * dDone;
            Apply(record);
            fade.active = dDone < 1.0;
            if (!fade.active && fade.stopAtEnd)
                due.push_back({record.playId, SoundStopped});
        }
        // The platform does not report the end of a non-looping buffer everywhere.
        if (!record.loop && !record.paused && !record.halted && !record.sound->IsStreamMode() &&
            !record.sound->IsPlaying(record.bufferIndex))
            due.push_back({record.playId, SoundFinished});
    }
    for (const auto& item : due) {
        if (m_bRetired)
            return;
        if (item.second == SoundStopped) {
            StopSound(item.first);
            continue;
        }
        const PlayRecord* pRecord = Find(item.first);
        if (!pRecord)
            continue; // stopped by its fade, or by the client
        const PlayRecord record = *pRecord;
        EraseById(item.first);
        record.sound->Rewind(record.bufferIndex); // free for the next play
        Notify(item.first, SoundFinished);
    }
    UpdateTick();
}

LRESULT CDSound7::OnMessage(UINT message, WPARAM wParam, LPARAM, bool* handled)
{
    if (message == WM_TIMER && wParam == kTickTimer && m_bTicking)
        Tick();
    else
        *handled = false;
    return 0;
}

void CDSound7::OnSoundFinished(CDSoundObject* pSound, int nBufferIndex)
{
    if (!m_pDirectSound)
        return;
    PlayRecord record;
    if (TakeByBuffer(pSound, nBufferIndex, &record, true))
        Notify(record.playId, SoundFinished);
}

void CDSound7::OnSoundPaused(CDSoundObject* pSound, int nBufferIndex)
{
    PlayRecord record;
    if (TakeByBuffer(pSound, nBufferIndex, &record, false))
        Notify(record.playId, SoundPaused);
}

void CDSound7::OnSoundStopped(CDSoundObject* pSound, int nBufferIndex)
{
    PlayRecord record;
    if (TakeByBuffer(pSound, nBufferIndex, &record, true))
        Notify(record.playId, SoundStopped);
}

CDSoundObject* CDSound7::FindSound(const std::wstring& strName) const
{
    auto it = m_sounds.find(strName);
    return it == m_sounds.end() ? nullptr : it->second;
}

CDSound7::PlayRecord* CDSound7::Find(int nPlayId)
{
    for (PlayRecord& record : m_plays)
        if (record.playId == nPlayId)
            return &record;
    return nullptr;
}

bool CDSound7::EraseById(int nPlayId)
{
    for (auto it = m_plays.begin(); it != m_plays.end(); ++it)
        if (it->playId == nPlayId) {
            m_plays.erase(it);
            return true;
        }
    return false;
}

bool CDSound7::TakeByBuffer(CDSoundObject* pSound, int nBufferIndex, PlayRecord* pRecord, bool bErase)
{
    for (auto it = m_plays.begin(); it != m_plays.end(); ++it)
        if (it->sound == pSound && it->bufferIndex == nBufferIndex) {
            *pRecord = *it;
            if (bErase)
                m_plays.erase(it);
            return true;
        }
    return false;
}

void CDSound7::Notify(int nPlayId, int nEvent)
{
    // Nothing of the device is held across the call: the client may call
    // any operation, or shut the engine down.
    if (!m_pSoundEvent || m_bRetired)
        return;
    ++m_nDispatching;
    m_pSoundEvent->OnSoundEvent(nPlayId, nEvent);
    --m_nDispatching;
}

} // namespace Game
} // namespace Veld
