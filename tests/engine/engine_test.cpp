// The engine as a client sees it through GameEngine.dll, its host windows
// with real messages, its timers, its log and the program folder.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "CountingEngine.h"
#include "Display.h"
#include "EngineLog.h"
#include "GameEngine.h"
#include "Input.h"
#include "Path.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using TestUtil::Pump;

namespace {

bool Initialize(IGameEngine* engine, const std::wstring& cls, int width, int height = 600)
{
    return engine->Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, width, height, 732, 32, SW_SHOW);
}

std::vector<long> WindowRect(HWND hWnd)
{
    RECT rc = {};
    GetWindowRect(hWnd, &rc);
    return {rc.left, rc.top, rc.right, rc.bottom};
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

// Records what reaches the input listeners as text: m(event,x,y)
// k(event,code,param) c(kind,id,param) s(kind,command,x,y).
using Log = std::vector<std::string>;

struct Recorder : IInputEvent, ICommandEvent {
    Log log;
    bool claim = false; // HitTest answer
    template <typename... T> bool Note(const char* name, T... values)
    {
        std::ostringstream os;
        os << name;
        ((os << ' ' << values), ...);
        log.push_back(os.str());
        return false;
    }
    bool HitTest(int, int) override { return claim; }
    bool OnMouse(int e, int x, int y) override { return Note("m", e, x, y); }
    bool OnKey(int e, unsigned short code, DWORD param) override { return Note("k", e, code, param); }
    bool OnCommand(int kind, unsigned short id, DWORD param) override { return Note("c", kind, id, param); }
    bool OnSysCommand(int k, DWORD cmd, unsigned short x, unsigned short y) override { return Note("s", k, cmd, x, y); }
};

} // namespace

TEST(EngineDll, LifecycleThroughTheExports)
{
    TestUtil::CountingEngine foreign;
    DestoryGameEngine(&foreign); // not the library's class: left alone, or this would crash

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
    EXPECT_EQ(WindowRect(frame), (std::vector<long>{112, 84, 912, 684}));
    EXPECT_FALSE(Initialize(engine, TestUtil::UniqueClassName(L"Dll"), 80));
    EXPECT_EQ(engine->GetWindowHandle(), frame);

    // The engine's refresh timer runs the display objects.
    Ticker object;
    ASSERT_TRUE(engine->GetDisplay()->AddObject(&object, 0));
    Pump(5000, [&] { return object.updates > 0; });
    EXPECT_GT(object.updates, 0);

    engine->Shutdown();
    EXPECT_FALSE(IsWindow(frame));
    const TestUtil::PumpResult pumped = Pump(5000, nullptr, true);
    EXPECT_TRUE(pumped.quit && pumped.quitCode == 0);
    engine->Shutdown(); // does nothing
    EXPECT_FALSE(Pump(50).quit);
    EXPECT_FALSE(Initialize(engine, TestUtil::UniqueClassName(L"Dll"), 80));
    DestoryGameEngine(engine);

    // The class went with the engine: a second one takes the same name. Too
    // wide to centre, it sits at the origin; destroyed without Shutdown, it
    // leaves no window behind and posts no quit message.
    engine = CreateGameEngine();
    ASSERT_TRUE(Initialize(engine, cls, 1024));
    frame = engine->GetWindowHandle();
    const HWND render = GetWindow(frame, GW_CHILD);
    EXPECT_TRUE(IsWindow(render));
    EXPECT_EQ(WindowRect(frame), (std::vector<long>{0, 0, 1024, 600}));
    DestoryGameEngine(engine);
    EXPECT_FALSE(IsWindow(frame) || IsWindow(render));
    EXPECT_FALSE(Pump(50).quit);
}

// Timers work before Initialize; ids are signed; a new handler replaces the
// old one; a handler may kill its own timer.
TEST(Timers, HandlersByIdUntilKilled)
{
    CDDGameEngine engine;
    Ticker first, second, negative, once;
    once.killer = &engine;
    for (const auto& [id, handler] : {std::pair<int, Ticker*>{5, &first}, {-1, &negative}, {9, &once}, {3, nullptr}})
        EXPECT_TRUE(engine.SetTimer(10, id, handler)) << id;
    Pump(5000, [&] { return first.ids.size() >= 2 && negative.ids.size() >= 2; });
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

TEST(ModuleDirectory, IsTheExecutablesFolderEvenFromADll)
{
    wchar_t exe[1024];
    std::wstring folder(exe, GetModuleFileNameW(nullptr, exe, 1024));
    folder.resize(folder.find_last_of(L'\\'));

    HMODULE probe = LoadLibraryW((folder + L"\\probe\\module_probe.dll").c_str());
    auto fn = reinterpret_cast<void (*)(wchar_t*, int)>(
        reinterpret_cast<void*>(GetProcAddress(probe, "ProbeModuleDirectory")));
    ASSERT_NE(fn, nullptr);
    wchar_t out[1024] = {};
    fn(out, 1024);
    EXPECT_EQ(std::wstring(out), folder);
    FreeLibrary(probe);
}

// The host windows with real messages, through the engine's input service to
// a listener.
TEST(HostWindow, ShapeMessagesAndCaptionDrag)
{
    CDDGameEngine engine;
    ASSERT_TRUE(Initialize(&engine, TestUtil::UniqueClassName(L"HostWindow"), 800));
    HostWindow& rec = engine.GetHostWindow();
    Recorder listener;
    engine.GetInput()->AddInputListener(&listener);
    engine.GetInput()->AddCommandListener(&listener);

    // Each corner loses its pixel and the two next to it along the edges.
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(rec.m_hFrameWindow, rgn), ERROR);
    for (const POINT corner : {POINT{0, 0}, POINT{799, 0}, POINT{0, 599}, POINT{799, 599}})
        for (const POINT step : {POINT{0, 0}, POINT{1, 0}, POINT{0, 1}, POINT{2, 0}, POINT{1, 1}, POINT{0, 2}}) {
            const int x = corner.x ? corner.x - step.x : step.x, y = corner.y ? corner.y - step.y : step.y;
            EXPECT_EQ(PtInRegion(rgn, x, y) != FALSE, step.x + step.y == 2) << x << "," << y;
        }
    DeleteObject(rgn);

    // A left press above the caption height that no listener claims drags the
    // frame; its moves are not reported. Drag presses at client point (x, y)
    // with the real cursor there, drags by (dx, dy), releases and tells how
    // far the frame moved.
    const auto drag = [&](int x, int y, int dx, int dy) {
        const std::vector<long> before = WindowRect(rec.m_hFrameWindow);
        SetCursorPos(before[0] + x, before[1] + y);
        SendMessageW(rec.m_hRenderWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SetCursorPos(before[0] + x + dx, before[1] + y + dy);
        SendMessageW(rec.m_hRenderWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + dx, y + dy));
        SendMessageW(rec.m_hRenderWindow, WM_LBUTTONUP, 0, MAKELPARAM(x + dx, y + dy));
        const std::vector<long> after = WindowRect(rec.m_hFrameWindow);
        return std::pair(after[0] - before[0], after[1] - before[1]);
    };
    const struct {
        int y;
        bool claim, drags;
    } presses[] = {{31, false, true}, {32, false, false}, {5, true, false}};
    for (const auto& c : presses) {
        listener.log.clear();
        listener.claim = c.claim;
        EXPECT_EQ(drag(100, c.y, 50, 40), c.drags ? std::pair(50L, 40L) : std::pair(0L, 0L)) << c.y;
        const std::string press = "m 1 100 " + std::to_string(c.y), to = std::to_string(c.y + 40);
        const Log expected = c.drags ? Log{press, "m 2 150 " + to} : Log{press, "m 0 150 " + to, "m 2 150 " + to};
        EXPECT_EQ(listener.log, expected);
    }

    const struct {
        bool frame;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const char* logged;
    } messages[] = {
        {false, WM_MOUSEMOVE, 0, static_cast<LPARAM>(0xFFF6FFFFu), "m 0 65535 65526"}, // unsigned halves
        {false, WM_RBUTTONDOWN, 0, MAKELPARAM(7, 8), "m 4 7 8"},
        {false, WM_LBUTTONDBLCLK, 0, MAKELPARAM(11, 12), "m 7 11 12"},
        {false, WM_KEYDOWN, 0x1041, 0x001E0001, "k 0 4161 1966081"},
        {false, WM_KEYUP, 'A', static_cast<LPARAM>(0xC01E0001u), "k 1 65 3223191553"},
        {false, WM_IME_COMPOSITION, 0x4E2D, 0x1800, "k 4 20013 6144"},
        {true, WM_IME_CHAR, 0x4E2D, 1, "k 6 20013 1"},
        {true, WM_COMMAND, MAKEWPARAM(42, 0), 0x1234, "c 0 42 4660"},
        {true, WM_COMMAND, MAKEWPARAM(43, 1), 0, "c 1 43 0"},
        // Closing is the client's decision; the source comes from the high word.
        {true, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(10, 20), "s 0 61536 10 20"},
        {true, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(0, 0xFFFF), "s 1 61536 0 65535"},
        {true, WM_SYSCOMMAND, SC_CLOSE, 0, "s 2 61536 0 0"},
        {true, WM_SYSCOMMAND, SC_MINIMIZE, 0, "s 2 61472 0 0"}, // other commands: default processing
    };
    for (const auto& c : messages) {
        listener.log.clear();
        const HWND target = c.frame ? rec.m_hFrameWindow : rec.m_hRenderWindow;
        EXPECT_EQ(SendMessageW(target, c.message, c.wParam, c.lParam), 0) << std::hex << c.message;
        ReleaseCapture();
        EXPECT_EQ(listener.log, Log{c.logged}) << std::hex << c.message;
    }
    EXPECT_TRUE(IsIconic(rec.m_hFrameWindow));
    EXPECT_EQ(SendMessageW(rec.m_hFrameWindow, WM_NCHITTEST, 0, 0), HTCLIENT);

    // Without an input service system commands get default processing and the strip still drags.
    rec.m_pInput = nullptr;
    SendMessageW(rec.m_hFrameWindow, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(rec.m_hFrameWindow));
    EXPECT_EQ(drag(5, 5, 20, 10), std::pair(20L, 10L));
    engine.Shutdown();
    Pump(50);
}
