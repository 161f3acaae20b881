// The sample game's sound: overlapping effect voices on clicks (DirectSound,
// whole) placed left or right with the cursor, streamed MP3 music that loops
// seamlessly and fades out on pause and in on resume, and
// a jingle played a given number of times through MCI. The build writes the
// files into sounds\ beside Game.exe.
#pragma once

#include <windows.h>

#include <string>

#include "GameEngine.h"
#include "Input.h"
#include "Sound.h"

class GameAudio : public Veld::Game::IInputEvent, public Veld::Game::ITimerEvent {
public:
    static const int kVolleyTimer = 40;
    static const int kPauseTimer = 41;
    static const unsigned kFadeMs = 600;

    GameAudio(Veld::Game::IGameEngine* engine, int strip, int width) : engine_(engine), strip_(strip), width_(width) {}

    /// Loads the sounds, starts the music and plays the jingle twice; an
    /// opening volley of three overlapping effects, left, centre and right,
    /// follows after a second.
    void Start()
    {
        const std::wstring folder = SoundFolder();
        if (Veld::Game::ISound* mci = engine_->GetSound())
            mci->Play((folder + L"jingle.wav").c_str(), 2);
        sound_ = engine_->GetSoundEx();
        if (!sound_)
            return;
        sound_->LoadSound(folder + L"click.wav", L"click", true, 2);
        if (sound_->LoadSound(folder + L"music.mp3", L"music", false, 1))
            music_ = sound_->PlaySound(L"music", true);
        engine_->SetTimer(120, kVolleyTimer, this);
    }

    /// A click voice (a busy voice gets company), panned from the left edge
    /// of the window (-100) to the right (100).
    void Click(int x)
    {
        if (sound_)
            sound_->SetPan(sound_->PlaySound(L"click", false), x * 200 / width_ - 100);
    }

    /// Paused: the music fades out, then pauses; resumed: it goes on where it
    /// stopped, fading in.
    void SetPaused(bool paused)
    {
        paused_ = paused;
        if (!sound_)
            return;
        engine_->KillTimer(kPauseTimer);
        if (paused) {
            sound_->FadeSound(music_, 0, kFadeMs, false);
            engine_->SetTimer(kFadeMs, kPauseTimer, this);
        } else {
            sound_->ResumeSound(music_);
            sound_->FadeSound(music_, 100, kFadeMs, false);
        }
    }

    // IInputEvent: a left press in the scene clicks.
    bool HitTest(int, int) override { return false; }
    bool OnMouse(int event, int x, int y) override
    {
        if (event == 1 && y >= strip_)
            Click(x);
        return false;
    }
    bool OnKey(int, unsigned short, DWORD) override { return false; }

    // ITimerEvent: the end of the fade-out; the opening volley, 120 ms
    // apart from the ninth tick on.
    void OnTimer(int id) override
    {
        if (id == kPauseTimer) {
            engine_->KillTimer(id);
            if (paused_)
                sound_->PauseSound(music_);
            return;
        }
        if (++ticks_ >= 9)
            Click(width_ * (ticks_ - 9) / 2);
        if (ticks_ >= 11)
            engine_->KillTimer(id);
    }

private:
    static std::wstring SoundFolder()
    {
        wchar_t path[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path, n < MAX_PATH ? n : 0);
        folder.erase(folder.find_last_of(L"\\/") + 1);
        return folder + L"sounds\\";
    }

    Veld::Game::IGameEngine* engine_;
    Veld::Game::ISoundEx* sound_ = nullptr;
    int strip_, width_;
    int music_ = -1;
    int ticks_ = 0;
    bool paused_ = false;
};
