// The sample game's sound: overlapping effect voices on clicks (DirectSound,
// whole), streamed MP3 music that starts again from its finished event, and
// a jingle played a given number of times through MCI. The build writes the
// files into sounds\ beside Game.exe.
#pragma once

#include <windows.h>

#include <string>

#include "GameEngine.h"
#include "Input.h"
#include "Sound.h"

class GameAudio : public Veld::Game::ISoundExEvent, public Veld::Game::IInputEvent, public Veld::Game::ITimerEvent {
public:
    static const int kVolleyTimer = 40;

    GameAudio(Veld::Game::IGameEngine* engine, int strip) : engine_(engine), strip_(strip) {}

    /// Loads the sounds, starts the music and plays the jingle twice; an
    /// opening volley of three overlapping effects follows after a second.
    void Start()
    {
        const std::wstring folder = SoundFolder();
        if (Veld::Game::ISound* mci = engine_->GetSound())
            mci->Play((folder + L"jingle.wav").c_str(), 2);
        sound_ = engine_->GetSoundEx();
        if (!sound_)
            return;
        sound_->SetSoundEvent(this);
        sound_->LoadSound(folder + L"click.wav", L"click", true, 2);
        if (sound_->LoadSound(folder + L"music.mp3", L"music", false, 1))
            music_ = sound_->PlaySound(L"music", false);
        engine_->SetTimer(120, kVolleyTimer, this);
    }

    void Click()
    {
        if (sound_)
            sound_->PlaySound(L"click", false); // a busy voice gets company
    }

    // ISoundExEvent: the music starts again when it has played to its end.
    void OnSoundEvent(int playId, int event) override
    {
        if (playId == music_ && event == Veld::Game::SoundFinished)
            music_ = sound_->PlaySound(L"music", false);
    }

    // IInputEvent: a left press in the scene clicks.
    bool HitTest(int, int) override { return false; }
    bool OnMouse(int event, int, int y) override
    {
        if (event == 1 && y >= strip_)
            Click();
        return false;
    }
    bool OnKey(int, unsigned short, DWORD) override { return false; }

    // ITimerEvent: the opening volley, 120 ms apart from the ninth tick on.
    void OnTimer(int id) override
    {
        if (++ticks_ >= 9)
            Click();
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
    int strip_;
    int music_ = -1;
    int ticks_ = 0;
};
