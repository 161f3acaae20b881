// Sound: the DirectSound device (ISoundEx), a table of named sounds that play
// as several voices or as a stream and report their end through play ids; and
// the simpler MCI player (ISound) with loop counts.
//
// Operations are called by vtable slot: the order of every interface below is
// fixed, and no interface has a virtual destructor.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>

// mmsystem.h maps PlaySound to PlaySoundA/PlaySoundW; ISoundEx::PlaySound must
// keep its own name. Call the Win32 function as PlaySoundW.
#undef PlaySound

namespace Veld {
namespace Game {

// LoadSound and PlaySound take std::wstring: clients must use the library's
// C++ runtime ABI (libstdc++ with the C++11 string).
#ifndef _WIN64 // 32-bit layout; 64-bit test builds have wider pointers
static_assert(sizeof(std::wstring) == 24, "client and engine must share the std::wstring layout");
#endif

/// Events of ISoundExEvent::OnSoundEvent.
enum SoundEvent {
    SoundFinished = 0, ///< the play reached the end (never for a looping play); its id is no longer valid
    SoundStopped = 1,  ///< the play was stopped; its id is no longer valid
    SoundPaused = 2    ///< the play was paused; ResumeSound continues it under the same id
};

/// Receives the end, stop and pause of plays, implemented by the client.
/// Called synchronously on the engine's thread (also from inside StopSound and PauseSound).
class ISoundExEvent {
public:
    /// nEvent is a SoundEvent.
    virtual void OnSoundEvent(int nPlayId, int nEvent) = 0; // slot 0
};

/// The DirectSound device (one per engine; owned by the engine). Without sound
/// hardware every operation fails or does nothing.
class ISoundEx {
public:
    /// Loads the wave or MP3 file strPath under strName (case-sensitive; a name
    /// already loaded fails). bWhole true: decoded whole into nBufferCount
    /// buffers that can play at the same time; false: streamed (MP3 only).
    /// nBufferCount must be at least 1.
    virtual bool LoadSound(const std::wstring& strPath, const std::wstring& strName, bool bWhole,
                           unsigned int nBufferCount) = 0; // slot 0
    /// Starts a play of the named sound on a free buffer; its play id, or -1.
    virtual int PlaySound(const std::wstring& strName, bool bLoop) = 0; // slot 1
    virtual void StopSound(int nPlayId) = 0;                            // slot 2
    virtual void PauseSound(int nPlayId) = 0;                           // slot 3
    /// Continues a paused play from where it stopped.
    virtual void ResumeSound(int nPlayId) = 0; // slot 4
    /// Stops and rewinds every buffer of every sound, without events (its plays
    /// are not reported finished).
    virtual void StopAllSounds() = 0; // slot 5
    /// Sets the event sink (not owned); null switches events off.
    virtual void SetSoundEvent(ISoundExEvent* pSink) = 0; // slot 6

    // Mixing. Every play starts at volume 100 and pan 0. Volumes are percent
    // of amplitude: DirectSound gets 2000 * log10(percent / 100) millibels
    // (50 -> -602), 0 is silent. Values out of range are clamped; an unknown
    // or ended play id returns false. Fades and the ends of whole plays are
    // watched on the engine's thread, every 20 ms while there is one.

    /// The play's volume, 0 to 100; cancels a running fade.
    virtual bool SetVolume(int nPlayId, int nVolume) = 0; // slot 7
    /// -100 (left only) to 100 (right only), 0 centre: the far channel keeps
    /// 100 - |nPan| percent, the near one all (DSBPAN_LEFT at -100, DSBPAN_RIGHT at 100).
    virtual bool SetPan(int nPlayId, int nPan) = 0; // slot 8
    /// Moves the play's volume from where it is to nTargetVolume in a straight
    /// line over nMilliseconds (0: at once), then, when bStopAtEnd, stops the
    /// play as StopSound does. A second fade replaces the first; SetVolume,
    /// StopSound, PauseSound and the play's end cancel it (a paused play
    /// resumes at the volume it had).
    virtual bool FadeSound(int nPlayId, int nTargetVolume, unsigned int nMilliseconds, bool bStopAtEnd) = 0; // slot 9
    /// A factor on every play, 0 to 100 (default 100): a play sounds at
    /// volume x master / 100, also plays started later.
    virtual void SetMasterVolume(int nVolume) = 0; // slot 10
};

/// Device id that Play returns for a file MCI cannot open.
const UINT kInvalidSoundDevice = 0xFFFFFFFF;

/// The MCI player (one per engine; owned by the engine). Each distinct path is
/// opened once and keeps its device id for the player's lifetime.
class ISound {
public:
    /// Plays a wave file once, asynchronously, cutting off the previous PlayWave.
    virtual void PlayWave(const wchar_t* pszPath) = 0; // slot 0
    /// Plays the file from its start nLoops times (0 or less: until Stop).
    /// Paths of at most 255 characters. Returns the device id or kInvalidSoundDevice.
    virtual UINT Play(const wchar_t* pszPath, int nLoops) = 0; // slot 1
    /// Restarts a device returned by Play with a new loop count.
    virtual void Replay(UINT nDeviceId, int nLoops) = 0; // slot 2
    virtual void Stop(UINT nDeviceId) = 0;               // slot 3
    virtual void StopAll() = 0;                          // slot 4
};

} // namespace Game
} // namespace Veld
