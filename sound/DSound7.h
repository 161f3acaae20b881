// The DirectSound device: the DirectSound object, the table of named sounds
// and the play records through which the client addresses single plays, with
// their volume, pan and fade; a tick on the engine's thread drives the fades
// and sees whole plays end.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <list>
#include <map>
#include <string>

#include "DSoundObject.h"
#include "MessageWindow.h"
#include "Sound.h"

namespace Veld {
namespace Game {

/// DirectSound millibels for a volume in percent of amplitude (0: silent).
LONG VolumeToMillibels(double dPercent);
/// DirectSound pan for -100 (left) to 100 (right): the far channel at 100 - |nPan| percent.
LONG PanToMillibels(int nPan);

class CDSound7 final : public ISoundEx, public IDSoundObjectEvent, private Client::Utility::IMessageWindowCallback {
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
    bool SetVolume(int nPlayId, int nVolume) override;
    bool SetPan(int nPlayId, int nPan) override;
    bool FadeSound(int nPlayId, int nTargetVolume, unsigned int nMilliseconds, bool bStopAtEnd) override;
    void SetMasterVolume(int nVolume) override;

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
    /// The tick's period, and whether it runs now.
    static const UINT kTickMs = 20;
    bool IsTicking() const { return m_bTicking; }

private:
    struct Fade {
        bool active;
        bool stopAtEnd;
        double from, to;
        DWORD start, ms;
    };
    struct PlayRecord {
        int playId;
        CDSoundObject* sound;
        int bufferIndex;
        int loop;
        double volume; // percent, fractions while fading
        int pan;
        bool paused; // by PauseSound, until ResumeSound
        bool halted; // by StopAllSounds: not watched for its end
        Fade fade;
    };

    PlayRecord* Find(int nPlayId);
    void Apply(const PlayRecord& record);
    /// Starts the tick when a record needs watching; stops it otherwise.
    void UpdateTick();
    bool NeedsTick() const;
    void Tick();
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;
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
    int m_nMaster;
    Client::Utility::CMessageWindow m_tickWindow;
    bool m_bTicking;
};

} // namespace Game
} // namespace Veld
