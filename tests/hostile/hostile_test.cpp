// Hostile but legitimate calls through GameEngine.dll (linked by its import
// library) and include/ only: sizes at and beyond the limits, failed set-ups,
// malformed wave files.
#include <gtest/gtest.h>

#include <windows.h>
#include <ddraw.h>
#include <gdiplus.h>
#include <mmsystem.h>

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

struct WavFile {
    uint32_t riff = 0x46464952, riffSize = 36 + 800, wave = 0x45564157, fmt = 0x20746D66, fmtSize = 16;
    PCMWAVEFORMAT format;
    uint32_t data = 0x61746164, dataSize = 800;
    int16_t samples[400] = {}; // silence
};
static_assert(sizeof(WavFile) == 844, "RIFF layout");

// A 400-frame WAV with the given format fields, in the current folder.
std::wstring WriteWav(const std::wstring& name, const PCMWAVEFORMAT& format)
{
    WavFile file;
    file.format = format;
    const std::wstring path = L"hostile_" + name + L".wav";
    std::ofstream(path.c_str(), std::ios::binary).write(reinterpret_cast<const char*>(&file), sizeof(file));
    return path;
}

bool ClassRegistered(const std::wstring& cls)
{
    WNDCLASSW info = {};
    return GetClassInfoW(GetModuleHandleW(nullptr), cls.c_str(), &info) != FALSE;
}

bool Initialize(IGameEngine* engine, const std::wstring& cls, int width = 320, int height = 240)
{
    return engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, width, height, 732, 32, SW_SHOW);
}

class Hostile : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&gdiplus_, &input, nullptr);
    }
    static void TearDownTestSuite() { Gdiplus::GdiplusShutdown(gdiplus_); }

    void SetUp() override
    {
        engine_ = CreateGameEngine();
        ASSERT_TRUE(Initialize(engine_, TestUtil::UniqueClassName(L"Hostile")));
        canvas_ = engine_->CreateCanvas();
        sound_ = engine_->GetSoundEx();
        ASSERT_TRUE(canvas_ && sound_);
    }
    void TearDown() override
    {
        engine_->DestroyCanvas(canvas_);
        engine_->Shutdown();
        TestUtil::Pump(20);
        DestoryGameEngine(engine_);
    }

    static inline ULONG_PTR gdiplus_ = 0;
    IGameEngine* engine_ = nullptr;
    ICanvas* canvas_ = nullptr;
    ISoundEx* sound_ = nullptr;
};

} // namespace

TEST_F(Hostile, ImagesAreMadeOnlyWithinTheSizeLimits)
{
    const struct {
        int width, height;
        bool made;
    } cases[] = {{16384, 4096, true}, {1, 16384, true},      {16384, 1, true},     {16385, 1, false},
                 {1, 16385, false},   {16384, 4097, false},  {8193, 8192, false},  {46341, 46341, false},
                 {0, 5, false},       {536870913, 2, false}, {20000, 20000, false}};
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
            EXPECT_GE(info.pitch, c.width * 4);
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
}

TEST_F(Hostile, GlyphsAreRenderedUpTo1024Pixels)
{
    for (int size : {12, 1024, 1025, 30000, 100000}) {
        IDDFont* glyph = engine_->CreateDDFont();
        EXPECT_EQ(glyph->Create(L"W", 1, L"Arial", size, 0, RGB(255, 255, 255)), size <= 1024) << size;
        glyph->ReleaseImage();
        engine_->DestroyDDFont(glyph);
    }
}

TEST_F(Hostile, FailedInitializeLeavesNothingBehindAndTheClassGoesWithTheEngine)
{
    IGameEngine* engine = CreateGameEngine();
    const std::wstring cls = TestUtil::UniqueClassName(L"HostileLife");
    for (const SIZE& size : {SIZE{0, 240}, SIZE{320, 0}, SIZE{-1, 240}, SIZE{320, -5}, SIZE{INT_MIN, INT_MIN},
                             SIZE{16385, 240}, SIZE{8193, 8192}}) {
        SCOPED_TRACE(std::to_string(size.cx) + "x" + std::to_string(size.cy));
        EXPECT_FALSE(Initialize(engine, cls, size.cx, size.cy));
        EXPECT_EQ(engine->GetWindowHandle(), nullptr);
        EXPECT_EQ(FindWindowW(cls.c_str(), nullptr), nullptr);
        EXPECT_FALSE(ClassRegistered(cls));
        engine->Shutdown();
        EXPECT_FALSE(TestUtil::Pump(20).quit);
    }
    ASSERT_TRUE(Initialize(engine, cls));
    RECT rc = {};
    GetWindowRect(engine->GetWindowHandle(), &rc);
    const RECT centred = {352, 264, 672, 504}; // on the 1024 x 768 screen
    EXPECT_TRUE(EqualRect(&rc, &centred));
    engine->Shutdown();
    EXPECT_TRUE(TestUtil::Pump(200, [] { return false; }).quit);
    EXPECT_FALSE(Initialize(engine, cls));
    DestoryGameEngine(engine);

    EXPECT_FALSE(ClassRegistered(cls));
    IGameEngine* second = CreateGameEngine();
    EXPECT_TRUE(Initialize(second, cls));
    second->Shutdown();
    TestUtil::Pump(20);
    DestoryGameEngine(second);
}

TEST_F(Hostile, OnlyPlayablePcmWaveFormatsLoad)
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
    sound_->StopAllSounds();
}

TEST_F(Hostile, AtMost256VoicesPerSound)
{
    const std::wstring path = WriteWav(L"voices", {1, 1, 22050, 44100, 2, 16});
    for (unsigned int count : {0xFFFFFFFFu, 100000u, 257u, 0u, 256u}) {
        EXPECT_EQ(sound_->LoadSound(path, L"v" + std::to_wstring(count), true, count), count == 256) << count;
    }
    // All 256 voices busy: a further play finds no voice instead of growing.
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
        SCOPED_TRACE(size);
        canvas_->FillRect(nullptr, RGB(0, 0, 0));
        const StringStyle style = {size, L"Arial", RGB(255, 255, 255), 1, 2, 2};
        EXPECT_EQ(canvas_->DrawString(L"Hi", &rc, &style), size > 0);
        ImageLockInfo info = {};
        ASSERT_TRUE(image->Lock(&info));
        bool lit = false;
        for (int y = 0; y < info.height; ++y)
            for (int x = 0; x < info.width; ++x)
                lit |= (reinterpret_cast<const uint32_t*>(info.bits + y * info.pitch)[x] & 0xFFFFFF) != 0;
        image->Unlock();
        EXPECT_EQ(lit, size > 0);
    }
    engine_->DestroyImage(image);
}
