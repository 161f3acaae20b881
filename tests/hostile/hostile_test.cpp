// Hostile but legitimate calls through GameEngine.dll (linked by its import
// library) and include/ only: sizes at and beyond the limits, malformed wave
// files, text that cannot be drawn. A failed Initialize is in the engine tests.
#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>
#include <gdiplus.h>

#include <climits>
#include <cstdint>
#include <fstream>

#include "Canvas.h"
#include "Font.h"
#include "GameEngine.h"
#include "Image.h"
#include "Sound.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

namespace {

// A 400-frame silent WAV with the given format fields, in the current folder.
std::wstring WriteWav(const std::wstring& name, const PCMWAVEFORMAT& format)
{
    struct {
        uint32_t riff = 0x46464952, riffSize = 36 + 800, wave = 0x45564157, fmt = 0x20746D66, fmtSize = 16;
        PCMWAVEFORMAT format;
        uint32_t data = 0x61746164, dataSize = 800;
        int16_t samples[400] = {};
    } file;
    static_assert(sizeof(file) == 844, "RIFF layout");
    file.format = format;
    const std::wstring path = L"hostile_" + name + L".wav";
    std::ofstream(path.c_str(), std::ios::binary).write(reinterpret_cast<const char*>(&file), sizeof(file));
    return path;
}

// One engine with a canvas for the whole suite, GDI+ started as a client does.
class Hostile : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&gdiplus_, &input, nullptr);
        engine_ = CreateGameEngine();
        engine_->Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"Hostile").c_str(), nullptr, 320, 240,
                            732, 32, SW_SHOW);
        canvas_ = engine_->CreateCanvas();
        sound_ = engine_->GetSoundEx();
    }
    static void TearDownTestSuite()
    {
        engine_->DestroyCanvas(canvas_);
        engine_->Shutdown();
        DestoryGameEngine(engine_);
        Gdiplus::GdiplusShutdown(gdiplus_);
    }
    void SetUp() override { ASSERT_TRUE(canvas_ && sound_); }

    static inline ULONG_PTR gdiplus_ = 0;
    static inline IGameEngine* engine_ = nullptr;
    static inline ICanvas* canvas_ = nullptr;
    static inline ISoundEx* sound_ = nullptr;
};

} // namespace

// Images and surfaces have sides up to 16384 and up to 2^28 bytes (the
// largest is drawn into end to end); glyphs up to 1024 pixels.
TEST_F(Hostile, ImagesSurfacesAndGlyphsAreMadeOnlyWithinTheSizeLimits)
{
    const struct {
        int width, height;
        bool made;
    } cases[] = {{16384, 4096, true},  {1, 16384, true},      {16385, 1, false}, {1, 16385, false},
                 {16384, 4097, false}, {46341, 46341, false}, {0, 5, false},     {536870913, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        IImage* image = engine_->CreateImage();
        EXPECT_EQ(image->Create(c.width, c.height), c.made);
        EXPECT_EQ(canvas_->SetTarget(image), c.made);
        // The last pixel, filled through the canvas and read back.
        const RECT last = {c.width - 1, c.height - 1, c.width, c.height};
        EXPECT_EQ(canvas_->FillRect(&last, RGB(0x12, 0x34, 0x56)), c.made);
        ImageLockInfo info = {};
        EXPECT_EQ(image->Lock(&info), c.made);
        if (c.made) {
            const BYTE* row = info.bits + static_cast<size_t>(info.pitch) * (c.height - 1);
            EXPECT_EQ(reinterpret_cast<const uint32_t*>(row)[c.width - 1], 0x00123456u);
            image->Unlock();
        }
        canvas_->ResetTarget();
        engine_->DestroyImage(image);
        IDirectDrawSurface7* surface = engine_->CreateSurface(c.width, c.height);
        EXPECT_EQ(surface != nullptr, c.made);
        if (surface)
            surface->Release();
    }
    for (int size : {1024, 1025, 100000}) {
        IDDFont* glyph = engine_->CreateDDFont();
        EXPECT_EQ(glyph->Create(L"W", 1, L"Arial", size, 0, RGB(255, 255, 255)), size <= 1024) << size;
        engine_->DestroyDDFont(glyph);
    }
}

TEST_F(Hostile, OnlyPlayablePcmWavesLoadWithAtMost256Voices)
{
    const struct {
        const wchar_t* name;
        PCMWAVEFORMAT format;
        bool loads;
    } cases[] = {
        // clang-format off
        {L"mono16", {1, 1, 22050, 44100, 2, 16}, true},   {L"stereo8", {1, 2, 8000, 16000, 2, 8}, true},
        {L"rate100", {1, 1, 100, 200, 2, 16}, true},      {L"rate200000", {1, 1, 200000, 400000, 2, 16}, true},
        {L"rate99", {1, 1, 99, 198, 2, 16}, false},       {L"rate200001", {1, 1, 200001, 400002, 2, 16}, false},
        {L"rateMax", {1, 1, 0xFFFFFFFF, 0xFFFFFFFE, 2, 16}, false}, {L"float", {3, 1, 22050, 88200, 4, 32}, false},
        {L"bits24", {1, 1, 22050, 66150, 3, 24}, false},  {L"channels3", {1, 3, 22050, 132300, 6, 16}, false},
        {L"channels0", {1, 0, 22050, 0, 0, 16}, false},   {L"align", {1, 1, 22050, 88200, 4, 16}, false},
        {L"byteRate", {1, 1, 22050, 44101, 2, 16}, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        const std::wstring path = WriteWav(c.name, c.format);
        EXPECT_EQ(sound_->LoadSound(path, c.name, true, 2), c.loads);
        EXPECT_EQ(sound_->PlaySound(c.name, false) >= 0, c.loads);
        DeleteFileW(path.c_str());
    }

    // Counts that cannot be allocated are refused without an exception
    // escaping; with all 256 voices busy a further play finds none.
    const std::wstring path = WriteWav(L"voices", {1, 1, 22050, 44100, 2, 16});
    for (unsigned int count : {0xFFFFFFFFu, 257u, 0u, 256u})
        EXPECT_EQ(sound_->LoadSound(path, L"v" + std::to_wstring(count), true, count), count == 256) << count;
    for (int i = 0; i < 256; ++i)
        ASSERT_GE(sound_->PlaySound(L"v256", true), 0) << i;
    EXPECT_EQ(sound_->PlaySound(L"v256", true), -1);
    sound_->StopAllSounds();
    DeleteFileW(path.c_str());
}

TEST_F(Hostile, DrawStringReportsWhetherTextWasDrawn)
{
    IImage* image = engine_->CreateImage();
    ASSERT_TRUE(image->Create(64, 32) && canvas_->SetTarget(image));
    const RECT rc = {0, 0, 64, 32};
    for (int size : {0, -5, INT_MIN, 20}) {
        const StringStyle style = {size, L"Arial", RGB(255, 255, 255), 1, 2, 2};
        EXPECT_EQ(canvas_->DrawString(L"Hi", &rc, &style), size > 0) << size;
    }
    canvas_->ResetTarget();
    engine_->DestroyImage(image);
}
