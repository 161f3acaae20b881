// The engine as a client sees it through GameEngine.dll: its lifecycle, its
// timers, its log, the program folder and the published slot order.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <vector>

#include "Display.h"
#include "EngineLog.h"
#include "GameEngine.h"
#include "Sound.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using TestUtil::Pump;

namespace {

bool Initialize(IGameEngine* engine, const std::wstring& cls, int width, int height = 600)
{
    return engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, width, height, 732, 32, SW_SHOW);
}

struct Ticker : IDisplayObject {
    int updates = 0;
    bool Update(DWORD, IDirtyRectManager*) override { return ++updates, false; }
    bool Render(ICanvas*) override { return true; }
    RECT GetRect() override { return {0, 0, 1, 1}; }
};

} // namespace

TEST(EngineDll, LifecycleThroughTheExports)
{
    // A failed Initialize (bad size, or a display it cannot make) undoes itself:
    // no window, no class, no quit message. A corrected call then works.
    IGameEngine* engine = CreateGameEngine();
    const std::wstring cls = TestUtil::UniqueClassName(L"Dll");
    for (const SIZE& size : {SIZE{0, 240}, SIZE{320, -5}, SIZE{16385, 240}}) {
        EXPECT_FALSE(Initialize(engine, cls, size.cx, size.cy)) << size.cx << "x" << size.cy;
        EXPECT_EQ(engine->GetWindowHandle(), nullptr);
        WNDCLASSW info;
        EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), cls.c_str(), &info));
        engine->Shutdown();
        EXPECT_FALSE(Pump(20).quit);
    }
    // Centred on the 1024 x 768 screen; initialised once only.
    ASSERT_TRUE(Initialize(engine, cls, 800));
    HWND frame = engine->GetWindowHandle();
    EXPECT_EQ(TestUtil::WindowRect(frame), (std::vector<long>{112, 84, 912, 684}));
    EXPECT_FALSE(Initialize(engine, TestUtil::UniqueClassName(L"Dll"), 80));
    EXPECT_EQ(engine->GetWindowHandle(), frame);

    // The engine's refresh timer runs the display objects.
    Ticker object;
    ASSERT_TRUE(engine->GetDisplay()->AddObject(&object, 0));
    Pump(5000, [&] { return object.updates > 0; });
    EXPECT_GT(object.updates, 0);

    engine->Shutdown();
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_TRUE(Pump(5000, nullptr, true).quit);
    engine->Shutdown(); // does nothing
    EXPECT_FALSE(Pump(50).quit);
    EXPECT_FALSE(Initialize(engine, TestUtil::UniqueClassName(L"Dll"), 80));
    DestoryGameEngine(engine);

    // The class went with the engine: a second one takes the same name.
    // Destroyed without Shutdown, it leaves no window behind and posts no
    // quit message.
    engine = CreateGameEngine();
    ASSERT_TRUE(Initialize(engine, cls, 1024));
    frame = engine->GetWindowHandle();
    const HWND render = GetWindow(frame, GW_CHILD);
    EXPECT_TRUE(IsWindow(render));
    DestoryGameEngine(engine);
    EXPECT_FALSE(IsWindow(frame) || IsWindow(render));
    EXPECT_FALSE(Pump(50).quit);
}

TEST(EngineLog, TimestampedLinesOnlyIntoAnExistingFolder)
{
    TestUtil::TempFolder dir(L"enginelog");
    wchar_t old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    const std::wstring log = dir.File(L"Log");
    dir.File(L"Log\\GameEngine.log");
    WriteEngineLog("lost");
    EXPECT_EQ(GetFileAttributesW(log.c_str()), INVALID_FILE_ATTRIBUTES) << "the folder was created";

    CreateDirectoryW(log.c_str(), nullptr);
    WriteEngineLog("CWaveFile::ResetFile Ok");
    WriteEngineLog(std::string(10000, 'x').c_str());
    std::ifstream in("Log/GameEngine.log"); // text mode: line ends read as "\n"
    std::string lines[3];
    for (std::string& line : lines)
        std::getline(in, line);
    SetCurrentDirectoryW(old);
    const std::regex stamp("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] ");
    EXPECT_TRUE(std::regex_match(lines[0].substr(0, 22), stamp) && std::regex_match(lines[1].substr(0, 22), stamp));
    EXPECT_EQ(lines[2], "") << "more than two lines";
    EXPECT_EQ(lines[0].substr(22), "CWaveFile::ResetFile Ok");
    // Over-long text is cut so that the stamp, the text, "\n" and the NUL fill the line buffer.
    EXPECT_EQ(lines[1].substr(22), std::string(kLogLineSize - 22 - 2, 'x'));
}

// The program folder computed by a DLL in a folder of its own.
TEST(ModuleDirectory, IsTheExecutablesFolderEvenFromADll)
{
    wchar_t exe[1024];
    std::wstring folder(exe, GetModuleFileNameW(nullptr, exe, 1024));
    folder.resize(folder.find_last_of(L'\\'));
    HMODULE probe = LoadLibraryW((folder + L"\\probe\\module_probe.dll").c_str());
    const auto fn =
        reinterpret_cast<const wchar_t* (*)()>(reinterpret_cast<void*>(GetProcAddress(probe, "ProbeModuleDirectory")));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(std::wstring(fn()), folder);
    FreeLibrary(probe);
}

// Clients call operations by slot. A pointer to a virtual member holds 1 plus
// the byte offset of its slot (Itanium C++ ABI, as MinGW g++ lays it out).
template <class Op> std::ptrdiff_t SlotOf(Op op)
{
    std::ptrdiff_t raw = 0;
    std::memcpy(&raw, &op, sizeof(raw));
    return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

TEST(Abi, SoundExStopPauseResumeInSlotsTwoToFourMixingInSevenToTen)
{
    const std::vector<std::ptrdiff_t> slots = {SlotOf(&ISoundEx::StopSound),      SlotOf(&ISoundEx::PauseSound),
                                               SlotOf(&ISoundEx::ResumeSound),    SlotOf(&ISoundEx::SetVolume),
                                               SlotOf(&ISoundEx::SetPan),         SlotOf(&ISoundEx::FadeSound),
                                               SlotOf(&ISoundEx::SetMasterVolume)};
    EXPECT_EQ(slots, (std::vector<std::ptrdiff_t>{2, 3, 4, 7, 8, 9, 10}));
}
