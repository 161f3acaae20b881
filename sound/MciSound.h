// The MCI player: one MCI device per distinct path, loop counts driven by
// the completion notifications that reach the player's message window.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <list>

#include "MessageWindow.h"
#include "Sound.h"

namespace Veld {
namespace Game {

class CSound : public ISound, public Client::Utility::IMessageWindowCallback {
public:
    CSound();
    /// Handles the notifications already queued, then closes every device.
    virtual ~CSound();

    CSound(const CSound&) = delete;
    CSound& operator=(const CSound&) = delete;

    // ISound
    void PlayWave(const wchar_t* pszPath) override;
    UINT Play(const wchar_t* pszPath, int nLoops) override;
    void Replay(UINT nDeviceId, int nLoops) override;
    void Stop(UINT nDeviceId) override;
    void StopAll() override;

    // IMessageWindowCallback: MM_MCINOTIFY.
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;

    HWND GetWindowHandle() const { return m_window.GetHandle(); }

protected:
    /// Every MCI command of the player goes through here.
    virtual MCIERROR SendCommand(UINT nDeviceId, UINT nMessage, DWORD_PTR dwFlags, DWORD_PTR dwParam);

private:
    struct SoundEntry {
        UINT nDeviceId;
        int nLoops;
        int nRemaining;
        wchar_t szPath[256];
        bool bStopped; // stopped by the client: a queued end restarts nothing
    };

    SoundEntry* FindEntry(UINT nDeviceId);
    void Restart(UINT nDeviceId);
    void CloseDevices();

    Client::Utility::CMessageWindow m_window;
    std::list<SoundEntry> m_sounds;
};

} // namespace Game
} // namespace Veld
