// Text in the sample: a line laid out glyph by glyph by the game itself, with
// emoticons among the letters, and a caption drawn by the canvas with GDI+.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Canvas.h"
#include "Display.h"
#include "Font.h"
#include "GameEngine.h"

namespace TextSample {

using namespace Veld::Game;

// GDI+ for the life of the object. The engine never starts it: a client that
// uses glyphs or DrawString does, before the engine makes its canvases.
class Gdiplus {
public:
    Gdiplus() : dll_(LoadLibraryW(L"gdiplus.dll"))
    {
        struct StartupInput {
            UINT32 version = 1;
            void* debugCallback = nullptr;
            BOOL suppressBackgroundThread = FALSE;
            BOOL suppressExternalCodecs = FALSE;
        } input;
        using Startup = int(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
        auto startup =
            dll_ ? reinterpret_cast<Startup>(reinterpret_cast<void*>(GetProcAddress(dll_, "GdiplusStartup"))) : nullptr;
        started_ = startup && startup(&token_, &input, nullptr) == 0;
    }
    ~Gdiplus()
    {
        using Shutdown = void(WINAPI*)(ULONG_PTR);
        auto shutdown =
            dll_ ? reinterpret_cast<Shutdown>(reinterpret_cast<void*>(GetProcAddress(dll_, "GdiplusShutdown")))
                 : nullptr;
        if (started_ && shutdown)
            shutdown(token_);
        if (dll_)
            FreeLibrary(dll_);
    }
    Gdiplus(const Gdiplus&) = delete;
    Gdiplus& operator=(const Gdiplus&) = delete;

private:
    HMODULE dll_;
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

// One line of glyphs. In the text, [xx] names a smiley and [xxx] a system
// icon; every other character becomes a rendered glyph.
class GlyphLine : public IDisplayObject {
public:
    GlyphLine(IGameEngine* engine, int x, int y, const std::wstring& text, int size, COLORREF colour)
        : engine_(engine), x_(x), y_(y)
    {
        int advance = 0, height = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const wchar_t* code = text.c_str() + i;
            int length = 1;
            const size_t close = text[i] == L'[' ? text.find(L']', i) : std::wstring::npos;
            if (close != std::wstring::npos && (close - i == 3 || close - i == 4)) {
                code = text.c_str() + i + 1;
                length = static_cast<int>(close - i - 1);
                i = close;
            }
            IDDFont* glyph = engine_->CreateDDFont();
            if (!glyph)
                continue;
            // A monospaced face: every letter fits its half-width cell.
            glyph->Create(code, length, L"Courier New", size, 1, colour); // a missing picture just leaves a gap
            glyphs_.push_back({glyph, advance});
            advance += glyph->GetWidth();
            height = glyph->GetHeight() > height ? glyph->GetHeight() : height;
        }
        rect_ = {x_, y_, x_ + advance + size, y_ + height + 4};
    }
    ~GlyphLine()
    {
        for (const Placed& placed : glyphs_) {
            placed.glyph->ReleaseImage();
            engine_->DestroyDDFont(placed.glyph);
        }
    }
    GlyphLine(const GlyphLine&) = delete;
    GlyphLine& operator=(const GlyphLine&) = delete;

    bool Update(DWORD, IDirtyRectManager* dirty) override
    {
        if (!first_)
            return false;
        first_ = false;
        if (dirty)
            dirty->AddDirtyRect(&rect_, 0);
        return true;
    }
    bool Render(ICanvas* canvas) override
    {
        for (const Placed& placed : glyphs_) {
            RECT rc = {x_ + placed.x, y_, 0, 0};
            placed.glyph->Draw(canvas, &rc);
        }
        return true;
    }
    RECT GetRect() override { return rect_; }

private:
    struct Placed {
        IDDFont* glyph;
        int x;
    };
    IGameEngine* engine_;
    int x_, y_;
    std::vector<Placed> glyphs_;
    RECT rect_;
    bool first_ = true;
};

// A caption drawn with the canvas's GDI+ string output.
class Caption : public IDisplayObject {
public:
    Caption(const RECT& rect, const wchar_t* text, int size, COLORREF colour) : rect_(rect), text_(text)
    {
        style_ = {size, L"Verdana", colour, StringStyle::Bold, StringStyle::Center, StringStyle::Center};
    }
    bool Update(DWORD, IDirtyRectManager* dirty) override
    {
        if (!first_)
            return false;
        first_ = false;
        if (dirty)
            dirty->AddDirtyRect(&rect_, 0);
        return true;
    }
    bool Render(ICanvas* canvas) override { return canvas->DrawString(text_.c_str(), &rect_, &style_); }
    RECT GetRect() override { return rect_; }

private:
    RECT rect_;
    std::wstring text_;
    StringStyle style_;
    bool first_ = true;
};

} // namespace TextSample
