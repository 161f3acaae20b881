// The DirectSound device: the DirectSound object, the table of named sounds
// and the play records through which the client addresses single plays.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <list>
#include <map>
#include <string>

#include "DSoundObject.h"
#include "Sound.h"

namespace Veld {
namespace Game {

class CDSound7 final : public ISoundEx, public IDSoundObjectEvent {
public:
    /// Registers the wave and MP3 readers and becomes the sound object sink.
    CDSound7();
    /// Tells the client nothing: both sinks are cleared first.
    ~CDSound7();

    CDSound7(const CDSound7&) = delete;
    CDSound7& operator=(const CDSound7&) = delete;

    /// Creates the DirectSound object for hWnd (priority level, 22050 Hz
    /// 16-bit stereo primary format); false leaves the device without one.
    bool CreateDirectSound(HWND hWnd);
    HRESULT SetPrimaryBufferFormat();

    // ISoundEx
    bool LoadSound(const std::wstring& strPath, const std::wstring& strName, bool bWhole,
                   unsigned int nBufferCount) override;
    int PlaySound(const std::wstring& strName, bool bLoop) override;
    void StopSound(int nPlayId) override;
    void PauseSound(int nPlayId) override;
    void ResumeSound(int nPlayId) override;
    void StopAllSounds() override;
    void SetSoundEvent(ISoundExEvent* pSink) override;

    // IDSoundObjectEvent
    void OnSoundFinished(CDSoundObject* pSound, int nBufferIndex) override;
    void OnSoundPaused(CDSoundObject* pSound, int nBufferIndex) override;
    void OnSoundStopped(CDSoundObject* pSound, int nBufferIndex) override;

    /// A client event is being delivered (the client may shut the engine down
    /// from it: the device is then retired and freed later).
    bool IsDispatching() const { return m_nDispatching > 0; }
    /// Silences the device and stops all calls to the client; every later
    /// operation fails quietly. Used before a deferred destruction.
    void Retire();

    IDirectSound* GetDirectSound() const { return m_pDirectSound; }
    /// The sound object loaded under strName, or null.
    CDSoundObject* FindSound(const std::wstring& strName) const;

private:
    struct PlayRecord {
        int playId;
        CDSoundObject* sound;
        int bufferIndex;
        int loop;
    };

    PlayRecord FindById(int nPlayId) const;
    bool EraseById(int nPlayId);
    bool TakeByBuffer(CDSoundObject* pSound, int nBufferIndex, PlayRecord* pRecord, bool bErase);
    void Notify(int nPlayId, int nEvent);

    IDirectSound* m_pDirectSound;
    std::map<std::wstring, CDSoundObject*> m_sounds;
    std::list<PlayRecord> m_plays;
    ISoundExEvent* m_pSoundEvent;
    int m_nLastPlayId;
    int m_nDispatching;
    bool m_bRetired;
};

} // namespace Game
} // namespace Veld
