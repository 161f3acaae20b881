// The real engine behind a client-side object that counts the images alive.
// Not the library's own class: DestoryGameEngine must leave it alone.
#pragma once

#include "DDFont.h"
#include "DDGameEngine.h"

namespace TestUtil {

class CountingEngine final : public Veld::Game::IGameEngine, public Veld::Game::IImageFactory {
public:
    bool Initialize(HINSTANCE a, const wchar_t* b, HICON c, int d, int e, int f, int g, int h) override
    {
        return real.Initialize(a, b, c, d, e, f, g, h);
    }
    void Shutdown() override { real.Shutdown(); }
    Veld::Game::IDisplay* GetDisplay() override { return real.GetDisplay(); }
    Veld::Game::IInput* GetInput() override { return real.GetInput(); }
    Veld::Game::ISound* GetSound() override { return real.GetSound(); }
    Veld::Game::ISoundEx* GetSoundEx() override { return real.GetSoundEx(); }
    HWND GetWindowHandle() override { return real.GetWindowHandle(); }
    bool SetTimer(unsigned int n, int id, Veld::Game::ITimerEvent* p) override { return real.SetTimer(n, id, p); }
    void KillTimer(int id) override { real.KillTimer(id); }
    Veld::Game::IImage* CreateImage() override { return Count(real.CreateImage(), 1); }
    void DestroyImage(Veld::Game::IImage* image) override { real.DestroyImage(Count(image, -1)); }
    Veld::Game::ICanvas* CreateCanvas() override { return real.CreateCanvas(); }
    void DestroyCanvas(Veld::Game::ICanvas* p) override { real.DestroyCanvas(p); }
    /// Glyphs from the real factory, making their images through this object.
    Veld::Game::IDDFont* CreateDDFont() override
    {
        auto* font = static_cast<Veld::Game::CDDFont*>(real.CreateDDFont());
        if (font)
            font->SetImageFactory(this);
        return font;
    }
    void DestroyDDFont(Veld::Game::IDDFont* p) override { real.DestroyDDFont(p); }
    Veld::Game::CDDImage* NewImage() override { return Count(real.NewImage(), 1); }
    void FreeImage(Veld::Game::CDDImage* image) override { real.FreeImage(Count(image, -1)); }
    IDirectDrawSurface7* CreateSurface(int w, int h) override { return real.CreateSurface(w, h); }

    template <class T> T* Count(T* image, int step)
    {
        live += image ? step : 0;
        return image;
    }

    Veld::Game::CDDGameEngine real;
    int live = 0;
};

} // namespace TestUtil
