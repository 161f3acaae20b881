#include "DSound7.h"

#include <exception>
#include <memory>
#include <new>

#include "Mp3File.h"
#include "WaveFile.h"

namespace Veld {
namespace Game {

CDSound7::CDSound7()
    : m_pDirectSound(nullptr), m_pSoundEvent(nullptr), m_nLastPlayId(0), m_nDispatching(0), m_bRetired(false)
{
    RegisterSoundFileType(L"mp3", &CMp3File::Create);
    RegisterSoundFileType(L"wav", &CWaveFile::Create);
    SetSoundObjectEventSink(this);
}

CDSound7::~CDSound7()
{
    Retire();
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
        TakeByBuffer(pSound, nIndex, &stale, true); // an earlier play that ended unreported
    }
    const int nPlayId = ++m_nLastPlayId;
    try {
        m_plays.push_back({nPlayId, pSound, nIndex, bLoop ? 1 : 0});
    } catch (const std::exception&) {
        return -1;
    }
    if (FAILED(pSound->Play(nIndex, bLoop ? DSBPLAY_LOOPING : 0))) {
        EraseById(nPlayId);
        return -1;
    }
    return nPlayId;
}

void CDSound7::StopSound(int nPlayId)
{
    const PlayRecord record = FindById(nPlayId);
    if (!record.sound || m_bRetired)
        return;
    record.sound->Stop(record.bufferIndex); // reports stopped: the client may call back
    EraseById(nPlayId);
}

void CDSound7::PauseSound(int nPlayId)
{
    const PlayRecord record = FindById(nPlayId);
    if (record.sound && !m_bRetired)
        record.sound->Pause(record.bufferIndex);
}

void CDSound7::ResumeSound(int nPlayId)
{
    const PlayRecord record = FindById(nPlayId);
    if (record.sound && !m_bRetired)
        record.sound->Play(record.bufferIndex, record.loop ? DSBPLAY_LOOPING : 0);
}

void CDSound7::StopAllSounds()
{
    if (m_bRetired)
        return;
    for (auto& entry : m_sounds)
        if (entry.second)
            entry.second->StopAll();
}

void CDSound7::SetSoundEvent(ISoundExEvent* pSink)
{
    if (!m_bRetired)
        m_pSoundEvent = pSink;
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

CDSound7::PlayRecord CDSound7::FindById(int nPlayId) const
{
    for (const PlayRecord& record : m_plays)
        if (record.playId == nPlayId)
            return record;
    return {-1, nullptr, -1, 0};
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
