// The engine as a client sees it through GameEngine.dll, its timers, its log
// and the program folder.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "CountingEngine.h"
#include "Display.h"
#include "EngineLog.h"
#include "GameEngine.h"
#include "Path.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using TestUtil::Pump;

namespace {

template <typename Fn>
Fn Export(const char* name)
{
    static HMODULE dll = LoadLibraryW(L"GameEngine.dll");
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

struct Ticker : IDisplayObject, ITimerEvent {
    std::vector<int> ids;
    int updates = 0;
    IGameEngine* killer = nullptr; // kills the timer from inside its first call
    bool Update(DWORD, IDirtyRectManager*) override { return ++updates, false; }
    bool Render(ICanvas*) override { return true; }
    RECT GetRect() override { return {0, 0, 1, 1}; }
    void OnTimer(int id) override
    {
        ids.push_back(id);
        if (killer)
            killer->KillTimer(id);
    }
};

} // namespace

TEST(EngineDll, LifecycleThroughTheExports)
{
    auto create = Export<PFN_CreateGameEngine>("CreateGameEngine");
    auto destroy = Export<PFN_DestoryGameEngine>("DestoryGameEngine");
    ASSERT_TRUE(create && destroy);
    destroy(nullptr);
    TestUtil::CountingEngine foreign; // not the library's class
    foreign.live = 0x5A5A5A5A;
    destroy(&foreign);
    EXPECT_EQ(foreign.live, 0x5A5A5A5A);

    // Centred when the screen (1024 x 768) has room, else at the origin.
    struct Case {
        int width;
        long left, top;
    } const cases[] = {{800, 112, 84}, {1024, 0, 0}};
    for (const Case& c : cases) {
        IGameEngine* engine = create();
        ASSERT_NE(engine, nullptr);
        EXPECT_EQ(engine->CreateSurface(1, 1), nullptr);
        const std::wstring cls = TestUtil::UniqueClassName(L"Dll");
        ASSERT_TRUE(engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, c.width, 600, 732, 32, 1));
        HWND frame = engine->GetWindowHandle();
        RECT rc = {};
        GetWindowRect(frame, &rc);
        EXPECT_EQ((std::vector<long>{rc.left, rc.top, rc.right, rc.bottom}),
                  (std::vector<long>{c.left, c.top, c.left + c.width, c.top + 600}));
        EXPECT_FALSE(engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 80, 60, 732, 32, 1));
        EXPECT_EQ(engine->GetWindowHandle(), frame);

        // The engine's refresh timer runs the display objects.
        Ticker object;
        ASSERT_TRUE(engine->GetDisplay()->AddObject(&object, 0));
        Pump(5000, [&] { return object.updates > 0; });
        EXPECT_GT(object.updates, 0);

        engine->Shutdown();
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_EQ(engine->GetDisplay(), nullptr);
        TestUtil::PumpResult pumped = Pump(5000, nullptr, true);
        EXPECT_TRUE(pumped.quit);
        EXPECT_EQ(pumped.quitCode, 0u);
        engine->Shutdown(); // does nothing
        EXPECT_FALSE(Pump(50).quit);
        // The class stays registered: the same name cannot initialise again.
        EXPECT_FALSE(engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 80, 60, 732, 32, 1));
        destroy(engine);
    }
}

TEST(EngineDll, DestroyWithoutShutdownLeavesNoWindowBehind)
{
    IGameEngine* engine = Export<PFN_CreateGameEngine>("CreateGameEngine")();
    const std::wstring cls = TestUtil::UniqueClassName(L"DllNoShutdown");
    ASSERT_TRUE(engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 320, 240, 732, 32, SW_SHOW));
    HWND frame = engine->GetWindowHandle();
    HWND render = GetWindow(frame, GW_CHILD);
    ASSERT_NE(render, nullptr);
    Export<PFN_DestoryGameEngine>("DestoryGameEngine")(engine);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(IsWindow(render));
    SendMessageW(render, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)); // must not reach the freed engine
    Pump(50);
}

// Timers work before Initialize; ids are signed; a new handler replaces the
// old one; a handler may kill its own timer.
TEST(Timers, HandlersByIdUntilKilled)
{
    CDDGameEngine engine;
    Ticker first, second, negative, once;
    once.killer = &engine;
    EXPECT_TRUE(engine.SetTimer(10, 5, &first));
    EXPECT_TRUE(engine.SetTimer(10, -1, &negative));
    EXPECT_TRUE(engine.SetTimer(10, 9, &once));
    engine.SetTimer(10, 3, nullptr);
    Pump(5000, [&] { return first.ids.size() >= 2 && negative.ids.size() >= 2; });
    ASSERT_GE(first.ids.size(), 2u);
    EXPECT_EQ(negative.ids, std::vector<int>(negative.ids.size(), -1));

    EXPECT_TRUE(engine.SetTimer(10, 5, &second));
    engine.KillTimer(-1);
    const auto firstCalls = first.ids.size(), negativeCalls = negative.ids.size();
    Pump(5000, [&] { return second.ids.size() >= 3; });
    EXPECT_EQ(second.ids, std::vector<int>(second.ids.size(), 5));
    EXPECT_GE(second.ids.size(), 3u);
    EXPECT_EQ(first.ids.size(), firstCalls) << "the replaced handler was called again";
    EXPECT_EQ(negative.ids.size(), negativeCalls) << "a killed timer was called again";
    EXPECT_EQ(once.ids, std::vector<int>{9});
    engine.KillTimer(12345); // no entry: nothing happens

    bool handled = false;
    EXPECT_EQ(engine.OnMessage(WM_APP, 0, 0, &handled), 0);
    EXPECT_FALSE(handled); // other messages get default processing
}

TEST(EngineLog, TimestampedLinesOnlyIntoAnExistingFolder)
{
    TestUtil::TempFolder dir(L"enginelog");
    wchar_t old[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    const std::wstring log = dir.File(L"Log"), file = dir.File(L"Log\\GameEngine.log");
    WriteEngineLog("lost");
    EXPECT_EQ(GetFileAttributesW(log.c_str()), INVALID_FILE_ATTRIBUTES) << "the folder was created";

    CreateDirectoryW(log.c_str(), nullptr);
    SYSTEMTIME now;
    GetLocalTime(&now);
    WriteEngineLog("CWaveFile::ResetFile Ok");
    WriteEngineLog("");
    WriteEngineLog(std::string(10000, 'x').c_str());
    std::ifstream in("Log/GameEngine.log"); // text mode: line ends read as "\n"
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    in.close();
    SetCurrentDirectoryW(old);
    ASSERT_EQ(lines.size(), 3u);
    const std::regex stamp("\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] ");
    for (const std::string& line : lines)
        EXPECT_TRUE(std::regex_match(line.substr(0, 22), stamp)) << line.substr(0, 40);
    EXPECT_EQ(std::stoi(lines[0].substr(1, 4)), now.wYear);
    EXPECT_EQ(lines[0].substr(22), "CWaveFile::ResetFile Ok");
    EXPECT_EQ(lines[1].substr(22), "");
    // Over-long text is cut so that the stamp, the text, "\n" and the NUL fill the line buffer.
    EXPECT_EQ(lines[2].substr(22), std::string(kLogLineSize - 22 - 2, 'x'));

    char line[kLogLineSize];
    FormatLogLine(line, 999, 1, 2, 0, 3, 4, nullptr);
    EXPECT_STREQ(line, "[0999-01-02 00:03:04] \n");
}

TEST(ModuleDirectory, IsTheExecutablesFolderEvenFromADll)
{
    wchar_t exe[1024];
    std::wstring folder(exe, GetModuleFileNameW(nullptr, exe, 1024));
    folder.resize(folder.find_last_of(L'\\'));
    const auto& dir = Veld::Client::Utility::GetModuleDirectory();
    EXPECT_EQ(dir.GetString(), folder);
    EXPECT_TRUE(dir.IsValid());
    EXPECT_EQ(&Veld::Client::Utility::GetModuleDirectory(), &dir); // computed once

    HMODULE probe = LoadLibraryW((folder + L"\\probe\\module_probe.dll").c_str());
    ASSERT_NE(probe, nullptr);
    auto fn = reinterpret_cast<void (*)(wchar_t*, int)>(
        reinterpret_cast<void*>(GetProcAddress(probe, "ProbeModuleDirectory")));
    ASSERT_NE(fn, nullptr);
    wchar_t out[1024] = {};
    fn(out, 1024);
    EXPECT_EQ(std::wstring(out), folder);
    FreeLibrary(probe);
}
