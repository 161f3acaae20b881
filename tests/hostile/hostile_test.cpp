// Hostile but legitimate calls through GameEngine.dll (linked by its import
// library) and include/ only: sizes at and beyond the limits, malformed wave
// files, text that cannot be drawn. A failed Initialize is in the engine tests.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
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
    file.format = format;
    const std::wstring path = L"hostile_" + name + L".wav";
    std::ofstream(path.c_str(), std::ios::binary).write(reinterpret_cast<const char*>(&file), sizeof(file));
    return path;
}

} // namespace

// One client engine with a canvas, GDI+ started as a client does.
TEST(Hostile, CallsBeyondTheLimitsAreRefusedCleanly)
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr);
    IGameEngine* engine = CreateGameEngine();
    ASSERT_TRUE(TestUtil::InitializeEngine(*engine, L"Hostile", 320, 240));
    ICanvas* canvas = engine->CreateCanvas();
    ISoundEx* sound = engine->GetSoundEx();
    ASSERT_TRUE(canvas && sound);

    // Images have sides up to 16384 and up to 2^28 bytes (the largest is drawn
    // into end to end; surfaces of the factory share the check).
    const struct {
        int width, height;
        bool made;
    } sizes[] = {{16384, 4096, true},  {1, 16384, true},      {16385, 1, false}, {1, 16385, false},
                 {16384, 4097, false}, {46341, 46341, false}, {0, 5, false},     {536870913, 2, false}};
    for (const auto& c : sizes) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        IImage* image = engine->CreateImage();
        EXPECT_EQ(image->Create(c.width, c.height), c.made);
        EXPECT_EQ(canvas->SetTarget(image), c.made);
        // The last pixel, filled through the canvas and read back.
        const RECT last = {c.width - 1, c.height - 1, c.width, c.height};
        EXPECT_EQ(canvas->FillRect(&last, RGB(0x12, 0x34, 0x56)), c.made);
        ImageLockInfo info = {};
        EXPECT_EQ(image->Lock(&info), c.made);
        if (c.made && info.bits) { // a failed Lock was reported above
            const BYTE* row = info.bits + static_cast<size_t>(info.pitch) * (c.height - 1);
            EXPECT_EQ(reinterpret_cast<const uint32_t*>(row)[c.width - 1], 0x00123456u);
            image->Unlock();
        }
        // Text is drawn into the largest image only at a positive size.
        for (int size : {0, -5, INT_MIN, 20}) {
            const StringStyle style = {size, L"Arial", RGB(255, 255, 255), 1, 2, 2};
            EXPECT_EQ(canvas->DrawString(L"Hi", &last, &style), c.made && size > 0) << size;
        }
        canvas->ResetTarget();
        engine->DestroyImage(image);
    }

    // Only playable PCM wave formats load.
    const struct {
        const wchar_t* name;
        PCMWAVEFORMAT format;
        bool loads;
    } waves[] = {
        // clang-format off
        {L"stereo8", {1, 2, 8000, 16000, 2, 8}, true},    {L"rate100", {1, 1, 100, 200, 2, 16}, true},
        {L"rate200000", {1, 1, 200000, 400000, 2, 16}, true}, {L"rate99", {1, 1, 99, 198, 2, 16}, false},
        {L"rateMax", {1, 1, 0xFFFFFFFF, 0xFFFFFFFE, 2, 16}, false}, {L"float", {3, 1, 22050, 88200, 4, 32}, false},
        {L"bits24", {1, 1, 22050, 66150, 3, 24}, false},  {L"channels3", {1, 3, 22050, 132300, 6, 16}, false},
        {L"align", {1, 1, 22050, 88200, 4, 16}, false},   {L"byteRate", {1, 1, 22050, 44101, 2, 16}, false},
        // clang-format on
    };
    for (const auto& c : waves) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        const std::wstring path = WriteWav(c.name, c.format);
        EXPECT_EQ(sound->LoadSound(path, c.name, true, 2), c.loads);
        EXPECT_EQ(sound->PlaySound(c.name, false) >= 0, c.loads);
        DeleteFileW(path.c_str());
    }

    // Counts that cannot be allocated are refused without an exception
    // escaping; with all 256 voices busy a further play finds none.
    const std::wstring path = WriteWav(L"voices", {1, 1, 22050, 44100, 2, 16});
    for (unsigned int count : {0xFFFFFFFFu, 257u, 0u, 256u})
        EXPECT_EQ(sound->LoadSound(path, L"v" + std::to_wstring(count), true, count), count == 256) << count;
    for (int i = 0; i < 256; ++i)
        ASSERT_GE(sound->PlaySound(L"v256", true), 0) << i;
    EXPECT_EQ(sound->PlaySound(L"v256", true), -1);
    DeleteFileW(path.c_str());

    engine->DestroyCanvas(canvas);
    engine->Shutdown();
    DestoryGameEngine(engine);
    Gdiplus::GdiplusShutdown(gdiplus);
}
