// Sample game: a layered dusk scene that shows every drawing method of the
// canvas, a rotating sprite, objects moved by client timers and an input
// listener. Uses the engine only through include/ and the DLL's exports.
//
//   Game.exe [seconds]     (default: run until Esc or the window is closed)
//
// Controls: arrow keys move the star, a click in the scene sends the orbs
// towards the cursor and sounds a click on the cursor's side, the button at
// the right of the top strip pauses (the music fades out, and in on resume),
// the rest of the strip drags the window, Esc quits.
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Art.h"
#include "Audio.h"
#include "Canvas.h"
#include "Display.h"
#include "GameEngine.h"
#include "Image.h"
#include "Input.h"
#include "Text.h"

using namespace Veld::Game;

namespace {

const int kWidth = 800;
const int kHeight = 600;
const int kStrip = 32; // caption strip height: drags the window
const RECT kPauseButton = {kWidth - 96, 4, kWidth - 8, kStrip - 4};
const int kMoveTimer = 1;
const int kQuitTimer = 2;
const COLORREF kStripColor = RGB(18, 22, 38);
const COLORREF kButtonColor = RGB(200, 160, 40);
const COLORREF kButtonPausedColor = RGB(220, 70, 60);

DrawStyle Style(DWORD flags)
{
    DrawStyle s = {};
    s.dwFlags = flags;
    s.fScaleX = 1.0f;
    s.fScaleY = 1.0f;
    s.byAlpha = 255;
    return s;
}

RECT Rect(int l, int t, int r, int b)
{
    return RECT{l, t, r, b};
}

// Images are owned here and given back to the engine at the end.
class Images {
public:
    explicit Images(IGameEngine* engine) : engine_(engine) {}
    ~Images()
    {
        for (IImage* image : images_)
            engine_->DestroyImage(image);
    }
    template <class Fn> IImage* Make(int w, int h, Fn pixel)
    {
        IImage* image = engine_->CreateImage();
        if (!image)
            return nullptr;
        images_.push_back(image);
        return Art::Paint(image, w, h, pixel) ? image : nullptr;
    }
    IImage* Empty(int w, int h)
    {
        IImage* image = engine_->CreateImage();
        if (!image)
            return nullptr;
        images_.push_back(image);
        return image->Create(w, h) ? image : nullptr;
    }

private:
    IGameEngine* engine_;
    std::vector<IImage*> images_;
};

// Base of the scene's objects: the display calls the three interface
// operations; Step and Draw are this game's own.
class Object : public IDisplayObject {
public:
    bool Update(DWORD tick, IDirtyRectManager* dirty) override
    {
        const bool changed = Step(tick);
        if (changed && dirty) {
            RECT rc = GetRect();
            dirty->AddDirtyRect(&rc, 0);
        }
        return changed;
    }
    bool Render(ICanvas* canvas) override
    {
        if (canvas)
            Draw(canvas);
        return true;
    }
    RECT GetRect() override { return rect_; }

    virtual bool Step(DWORD) { return false; }
    virtual void Draw(ICanvas* canvas) = 0;

protected:
    RECT rect_ = {0, 0, 0, 0};
};

class Backdrop : public Object {
public:
    Backdrop(IImage* sky, IImage* hills) : sky_(sky), hills_(hills) { rect_ = Rect(0, 0, kWidth, kHeight); }
    bool Step(DWORD) override { return first_ ? (first_ = false, true) : false; }
    void Draw(ICanvas* canvas) override
    {
        DrawStyle plain = Style(0);
        canvas->DrawImage(sky_, 0, 0, &plain);
        DrawStyle keyed = Style(DrawStyle::ColorKey);
        keyed.dwKeyLow = keyed.dwKeyHigh = 0;
        canvas->DrawImage(hills_, 0, 0, &keyed);
    }

private:
    IImage* sky_;
    IImage* hills_;
    bool first_ = true;
};

// One panel per drawing method, in a row across the scene.
class Showcase : public Object {
public:
    Showcase(IImage* card, IImage* orb, IImage* premultiplied, IImage* star)
        : card_(card), orb_(orb), pm_(premultiplied), star_(star)
    {
        rect_ = Rect(kLeft, kTop, kLeft + 10 * kPitch, kTop + kSize);
    }
    bool Step(DWORD tick) override
    {
        phase_ = static_cast<float>(tick % 4000) / 4000.0f;
        return true; // the constant-alpha and scaled panels pulse
    }
    void Draw(ICanvas* canvas) override
    {
        const float pulse = 0.5f + 0.5f * std::sin(phase_ * 6.2831853f);
        for (int i = 0; i < 10; ++i) {
            const int x = kLeft + i * kPitch;
            DrawStyle plain = Style(0);
            canvas->DrawImage(card_, x, kTop, &plain);
            DrawStyle s = Style(kMethods[i]);
            IImage* sprite = orb_;
            switch (kMethods[i]) {
            case DrawStyle::ColorKey:
                sprite = star_;
                s.dwKeyLow = s.dwKeyHigh = 0;
                break;
            case DrawStyle::Premultiplied: sprite = pm_; break;
            case DrawStyle::Tint:
                s.crTint = RGB(255, 40, 40);
                s.byAlpha = 160;
                break;
            case DrawStyle::ConstantAlpha:
                sprite = star_;
                s.byAlpha = static_cast<BYTE>(40 + 200 * pulse);
                break;
            case DrawStyle::Transform | DrawStyle::AlphaBlend:
                s.fScaleX = s.fScaleY = 0.6f + 0.5f * pulse;
                s.nPivotX = 0;
                s.nPivotY = 0;
                break;
            default: break;
            }
            canvas->DrawImage(sprite, x, kTop, &s);
        }
    }

private:
    static const int kLeft = 20, kTop = 360, kSize = 64, kPitch = 77;
    static constexpr DWORD kMethods[10] = {DrawStyle::ColorKey,      DrawStyle::AlphaComposite,
                                           DrawStyle::AlphaBlend,    DrawStyle::Premultiplied,
                                           DrawStyle::Overlay,       DrawStyle::ColorDodge,
                                           DrawStyle::Exclusion,     DrawStyle::Tint,
                                           DrawStyle::ConstantAlpha, DrawStyle::Transform | DrawStyle::AlphaBlend};
    IImage* card_;
    IImage* orb_;
    IImage* pm_;
    IImage* star_;
    float phase_ = 0;
};
constexpr DWORD Showcase::kMethods[10];

class Spinner : public Object {
public:
    Spinner(ICanvas* canvas, IImage* arrow, IImage* scratch) : canvas_(canvas), arrow_(arrow), scratch_(scratch)
    {
        rect_ = Rect(kX, kY, kX + kSize, kY + kSize);
    }
    bool Step(DWORD tick) override
    {
        const short angle = static_cast<short>((tick / 20) % 360);
        if (angle == angle_)
            return false;
        angle_ = angle;
        canvas_->RotateImage(arrow_, scratch_, angle_, kSize / 2.0, kSize / 2.0);
        return true;
    }
    void Draw(ICanvas* canvas) override
    {
        DrawStyle s = Style(DrawStyle::AlphaBlend);
        canvas->DrawImage(scratch_, kX, kY, &s);
    }

private:
    static const int kX = 640, kY = 120, kSize = 96;
    ICanvas* canvas_;
    IImage* arrow_;
    IImage* scratch_;
    short angle_ = -1;
};

// Orbs that drift and bounce; positions advance on the client's own timer.
class Orbs : public Object, public ITimerEvent {
public:
    explicit Orbs(IImage* orb) : orb_(orb)
    {
        for (int i = 0; i < 6; ++i)
            balls_.push_back({60.0f + i * 110.0f, 80.0f + (i % 3) * 60.0f, 2.0f + i * 0.4f, 1.2f + (i % 2) * 0.9f});
        rect_ = Rect(0, kStrip, kWidth, kHeight);
    }
    void OnTimer(int) override
    {
        if (paused)
            return;
        for (Ball& b : balls_) {
            b.x += b.vx;
            b.y += b.vy;
            if (b.x < 0 || b.x > kWidth - 64)
                b.vx = -b.vx;
            if (b.y < kStrip || b.y > 330 - 64)
                b.vy = -b.vy;
        }
        moved_ = true;
    }
    void Attract(int x, int y)
    {
        for (Ball& b : balls_) {
            const float dx = x - 32 - b.x, dy = y - 32 - b.y;
            const float len = std::sqrt(dx * dx + dy * dy) + 1.0f;
            b.vx = 4.0f * dx / len;
            b.vy = 4.0f * dy / len;
        }
    }
    bool Step(DWORD) override
    {
        const bool moved = moved_;
        moved_ = false;
        return moved;
    }
    void Draw(ICanvas* canvas) override
    {
        DrawStyle s = Style(DrawStyle::AlphaComposite);
        for (const Ball& b : balls_)
            canvas->DrawImage(orb_, static_cast<int>(b.x), static_cast<int>(b.y), &s);
    }
    bool paused = false;

private:
    struct Ball {
        float x, y, vx, vy;
    };
    IImage* orb_;
    std::vector<Ball> balls_;
    bool moved_ = true;
};

class Player : public Object {
public:
    explicit Player(IImage* star) : star_(star) { Place(); }
    void Move(int dx, int dy)
    {
        x_ = x_ + dx < 0 ? 0 : (x_ + dx > kWidth - 64 ? kWidth - 64 : x_ + dx);
        y_ = y_ + dy < kStrip ? kStrip : (y_ + dy > kHeight - 64 ? kHeight - 64 : y_ + dy);
        Place();
        moved_ = true;
    }
    bool Step(DWORD) override
    {
        const bool moved = moved_;
        moved_ = false;
        return moved;
    }
    void Draw(ICanvas* canvas) override
    {
        DrawStyle s = Style(DrawStyle::ColorKey);
        s.dwKeyLow = s.dwKeyHigh = 0;
        canvas->DrawImage(star_, x_, y_, &s);
    }

private:
    void Place() { rect_ = Rect(x_, y_, x_ + 64, y_ + 64); }
    IImage* star_;
    int x_ = 368, y_ = 470;
    bool moved_ = true;
};

// Top strip with the pause button. The strip itself belongs to no listener,
// so pressing it drags the window.
class Hud : public Object {
public:
    bool Step(DWORD) override
    {
        const bool changed = changed_;
        changed_ = false;
        return changed;
    }
    void Draw(ICanvas* canvas) override
    {
        RECT strip = Rect(0, 0, kWidth, kStrip);
        canvas->FillRect(&strip, kStripColor);
        canvas->FillRect(&kPauseButton, paused_ ? kButtonPausedColor : kButtonColor);
        RECT frame = Rect(0, 0, kWidth - 1, kHeight - 1);
        canvas->DrawRect(&frame, RGB(90, 100, 140));
    }
    void SetPaused(bool paused)
    {
        paused_ = paused;
        changed_ = true;
    }

private:
    bool paused_ = false;
    bool changed_ = true;
};

class Controls : public IInputEvent {
public:
    Controls(IGameEngine* engine, Orbs* orbs, Player* player, Hud* hud, GameAudio* audio)
        : engine_(engine), orbs_(orbs), player_(player), hud_(hud), audio_(audio)
    {
    }
    bool HitTest(int x, int y) override
    {
        return x >= kPauseButton.left && x < kPauseButton.right && y >= kPauseButton.top && y < kPauseButton.bottom;
    }
    bool OnMouse(int event, int x, int y) override
    {
        if (event != 1) // left button down
            return false;
        if (HitTest(x, y)) {
            orbs_->paused = !orbs_->paused;
            hud_->SetPaused(orbs_->paused);
            audio_->SetPaused(orbs_->paused);
        } else if (y >= kStrip) {
            orbs_->Attract(x, y);
        }
        return true;
    }
    bool OnKey(int event, unsigned short code, DWORD) override
    {
        if (event != 0) // key down
            return false;
        switch (code) {
        case VK_LEFT: player_->Move(-12, 0); break;
        case VK_RIGHT: player_->Move(12, 0); break;
        case VK_UP: player_->Move(0, -12); break;
        case VK_DOWN: player_->Move(0, 12); break;
        case VK_ESCAPE: engine_->Shutdown(); break;
        default: break;
        }
        return true;
    }

private:
    IGameEngine* engine_;
    Orbs* orbs_;
    Player* player_;
    Hud* hud_;
    GameAudio* audio_;
};

// Closing from the system menu or Alt+F4 is the game's decision.
class Commands : public ICommandEvent {
public:
    explicit Commands(IGameEngine* engine) : engine_(engine) {}
    bool OnCommand(int, unsigned short, DWORD) override { return false; }
    bool OnSysCommand(int, DWORD command, unsigned short, unsigned short) override
    {
        if (command == SC_CLOSE)
            engine_->Shutdown();
        return true;
    }

private:
    IGameEngine* engine_;
};

class QuitTimer : public ITimerEvent {
public:
    explicit QuitTimer(IGameEngine* engine) : engine_(engine) {}
    void OnTimer(int id) override
    {
        engine_->KillTimer(id);
        engine_->Shutdown();
    }

private:
    IGameEngine* engine_;
};

int RunGame(IGameEngine* engine, HINSTANCE instance, int show, int seconds)
{
    if (!engine->Initialize(instance, L"VeldSampleGame", nullptr, kWidth, kHeight, 732, kStrip, show))
        return 4;
    IDisplay* display = engine->GetDisplay();
    IInput* input = engine->GetInput();
    ICanvas* canvas = display ? display->GetCanvas() : nullptr;
    if (!display || !input || !canvas) {
        engine->Shutdown();
        return 5;
    }

    int rc = 0;
    {
        Images images(engine);
        IImage* sky = images.Make(kWidth, kHeight, [](int x, int y) { return Art::Sky(x, y, kHeight); });
        IImage* hills = images.Make(kWidth, kHeight, [](int x, int y) { return Art::Hills(x, y, kHeight); });
        IImage* orb = images.Make(64, 64, [](int x, int y) { return Art::Orb(x, y, 64, 120, 200, 255); });
        IImage* warm = images.Make(64, 64, [](int x, int y) { return Art::Orb(x, y, 64, 255, 150, 60); });
        IImage* pm = images.Make(64, 64, [](int x, int y) { return Art::PremultipliedOrb(x, y, 64, 255, 120, 220); });
        IImage* star = images.Make(64, 64, [](int x, int y) { return Art::Star(x, y, 64); });
        IImage* card = images.Make(64, 64, [](int x, int y) { return Art::Card(x, y, 64); });
        IImage* arrow = images.Make(96, 96, [](int x, int y) { return Art::Arrow(x, y, 96); });
        IImage* scratch = images.Empty(96, 96);
        if (!sky || !hills || !orb || !warm || !pm || !star || !card || !arrow || !scratch) {
            engine->Shutdown();
            return 6;
        }

        Backdrop backdrop(sky, hills);
        Showcase showcase(card, orb, pm, star);
        Spinner spinner(canvas, arrow, scratch);
        Orbs orbs(warm);
        Player player(star);
        Hud hud;
        TextSample::GlyphLine line(engine, 24, 438, L"Glyph text [sm] with emoticons [ht] [wk] and icons [inf] [wrn]",
                                   18, RGB(255, 236, 200));
        TextSample::Caption caption(Rect(200, 0, 600, kStrip), L"Dusk Garden", 16, RGB(240, 230, 255));
        GameAudio audio(engine, kStrip, kWidth);
        Controls controls(engine, &orbs, &player, &hud, &audio);
        Commands commands(engine);
        QuitTimer quit(engine);

        display->AddObject(&backdrop, 0);
        display->AddObject(&showcase, 3);
        display->AddObject(&spinner, 5);
        display->AddObject(&orbs, 6);
        display->AddObject(&player, 7);
        display->AddObject(&hud, 8);
        display->AddObject(&line, 8);
        display->AddObject(&caption, 8);
        input->AddInputListener(&controls);
        input->AddCommandListener(&commands);
        input->AddInputListener(&audio);
        audio.Start();
        engine->SetTimer(16, kMoveTimer, &orbs);
        if (seconds > 0)
            engine->SetTimer(static_cast<unsigned>(seconds) * 1000u, kQuitTimer, &quit);

        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        rc = static_cast<int>(msg.wParam);

        engine->KillTimer(kMoveTimer);
        engine->KillTimer(kQuitTimer);
        engine->Shutdown(); // no-op when already shut down
    }
    return rc;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int show)
{
    const int seconds = cmdLine && *cmdLine ? std::wcstol(cmdLine, nullptr, 10) : 0;

    TextSample::Gdiplus gdiplus; // before the engine makes its canvases
    HMODULE dll = LoadLibraryW(L"GameEngine.dll");
    if (!dll)
        return 2;
    auto create =
        reinterpret_cast<PFN_CreateGameEngine>(reinterpret_cast<void*>(GetProcAddress(dll, "CreateGameEngine")));
    auto destroy =
        reinterpret_cast<PFN_DestoryGameEngine>(reinterpret_cast<void*>(GetProcAddress(dll, "DestoryGameEngine")));
    IGameEngine* engine = create && destroy ? create() : nullptr;
    if (!engine)
        return 3;
    const int rc = RunGame(engine, instance, show, seconds);
    destroy(engine);
    FreeLibrary(dll);
    return rc;
}
