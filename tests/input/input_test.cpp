// The input service on its own, and end to end from real window messages to
// the client's listeners: the host windows' shape, caption drag and message
// translation.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <sstream>

#include "CInput.h"
#include "DDGameEngine.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using Log = std::vector<std::string>;

namespace {

// Logs "<name>.<call> args" for input, command and visitor calls.
struct Listener : IInputEvent, ICommandEvent, IInputListenerVisitor {
    Listener(const char* n, Log& l) : name(n), log(l) {}
    template <typename... T> bool Note(const char* call, T... values)
    {
        std::ostringstream os;
        os << name << '.' << call;
        ((os << ' ' << values), ...);
        log.push_back(os.str());
        if (action)
            action();
        return true;
    }
    bool HitTest(int x, int) override { return Note("hit", x), claim; }
    bool OnMouse(int e, int x, int y) override { return Note("mouse", e, x, y); }
    bool OnKey(int e, unsigned short code, DWORD param) override { return Note("key", e, code, param); }
    bool OnCommand(int kind, unsigned short id, DWORD param) override { return Note("cmd", kind, id, param); }
    bool OnSysCommand(int k, DWORD cmd, WORD x, WORD y) override { return Note("sys", k, cmd, x, y); }
    void Begin() override { Note("begin"); }
    bool Visit(IInputEvent* l, void* context) override
    {
        Note("visit", static_cast<Listener*>(l)->name, std::memcmp(context, "\0\0\0\0\0\0\0\0", 8));
        return --visits > 0;
    }
    void End() override { Note("end"); }

    std::string name;
    Log& log;
    bool claim = false;
    int visits = 1000; // Visit answers false on this call
    std::function<void()> action;
};

} // namespace

TEST(Input, ListenersVisitorsAndHitTests)
{
    CInput input;
    Log log;
    Listener a("a", log), b("b", log), c("c", log), v("v", log);
    for (Listener* l : {&a, &b, &a}) // a twice in the list, heard once at the end
        input.AddInputListener(l);
    input.AddInputListener(nullptr);
    input.AddCommandListener(&c);
    input.OnMouse(1, 3, 4);
    input.OnCommand(1, 42, 99);
    input.OnSysCommand(2, 0xF060, 10, 20);
    input.EnumInputListeners(&v);
    input.EnumInputListeners(nullptr);
    EXPECT_EQ(log, (Log{"b.mouse 1 3 4", "a.mouse 1 3 4", "c.cmd 1 42 99", "c.sys 2 61536 10 20", "v.begin",
                        "v.visit a 0", "v.visit b 0", "v.visit a 0", "v.end"}));

    // The first claim wins; a visitor's false ends the walk.
    log.clear();
    b.claim = true;
    v.visits = 1;
    EXPECT_TRUE(input.HitTest(9, 9));
    input.EnumInputListeners(&v);
    EXPECT_EQ(log, (Log{"a.hit 9", "b.hit 9", "v.begin", "v.visit a 0", "v.end"}));

    // Removing takes one place and the registration; command listeners go on their own.
    log.clear();
    input.RemoveInputListener(&a);
    input.RemoveCommandListener(&c);
    input.OnKey(0, 65, 7);
    input.OnCommand(0, 1, 1);
    v.visits = 1000;
    input.EnumInputListeners(&v);
    EXPECT_EQ(log, (Log{"b.key 0 65 7", "v.begin", "v.visit b 0", "v.visit a 0", "v.end"}));
}

// Messages sent to the engine's real windows reach the listeners registered
// through its input service, and closing stays the client's decision; a
// listener may shut the engine down from inside an event (Esc quits): the
// later listeners hear nothing, and the service is not freed under the event.
TEST(Input, EndToEndFromWindowMessagesToShutdownInsideAListener)
{
    CDDGameEngine engine;
    const std::wstring cls = TestUtil::UniqueClassName(L"InputE2E");
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 640, 480, 732, 32, SW_SHOW));
    IInput* input = engine.GetInput();
    ASSERT_NE(input, nullptr);
    Log log;
    Listener quitter("q", log), after("after", log);
    input->AddInputListener(&quitter);
    input->AddInputListener(&after);
    input->AddCommandListener(&quitter);
    HWND frame = engine.GetWindowHandle();
    HWND render = engine.GetHostWindow().m_hRenderWindow;
    SendMessageW(render, WM_MOUSEMOVE, 0, MAKELPARAM(10, 40));
    SendMessageW(frame, WM_IME_CHAR, 0x4E2D, 1);
    SendMessageW(frame, WM_COMMAND, MAKEWPARAM(7, 1), 5);
    SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(30, 40));
    EXPECT_TRUE(IsWindow(frame));
    EXPECT_EQ(log, (Log{"q.mouse 0 10 40", "after.mouse 0 10 40", "q.key 6 20013 1", "after.key 6 20013 1",
                        "q.cmd 1 7 5", "q.sys 0 61536 30 40"}));

    log.clear();
    std::vector<std::unique_ptr<char[]>> reuse; // takes freed blocks of the service's size: a freed one is garbage
    quitter.action = [&] {
        engine.Shutdown();
        for (int i = 0; i < 256; ++i)
            std::memset(reuse.emplace_back(new char[sizeof(CInput)]).get(), 0xFF, sizeof(CInput));
    };
    SendMessageW(render, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(log, (Log{"q.key 0 27 1"}));
    EXPECT_FALSE(IsWindow(render));
    EXPECT_EQ(engine.GetInput(), nullptr);
    EXPECT_TRUE(TestUtil::Pump(5000, nullptr, true).quit);
}

TEST(Input, HostWindowShapeCaptionDragAndMessages)
{
    CDDGameEngine engine;
    ASSERT_TRUE(TestUtil::InitializeEngine(engine, L"HostWindow", 800, 600));
    HostWindow& rec = engine.GetHostWindow();
    Log log;
    Listener listener("r", log);
    engine.GetInput()->AddInputListener(&listener);
    engine.GetInput()->AddCommandListener(&listener);

    // Each corner loses its pixel and the two next to it along the edges.
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(rec.m_hFrameWindow, rgn), ERROR);
    for (const POINT step : {POINT{0, 0}, POINT{1, 0}, POINT{0, 1}, POINT{2, 0}, POINT{1, 1}, POINT{0, 2}})
        EXPECT_EQ(PtInRegion(rgn, 799 - step.x, 599 - step.y) != FALSE, step.x + step.y == 2) << step.x << step.y;
    DeleteObject(rgn);

    // A left press above the caption height that no listener claims drags the
    // frame; its moves are not reported. Drag presses at client point (x, y)
    // with the real cursor there, drags by (dx, dy), releases and tells how
    // far the frame moved.
    const auto drag = [&](int x, int y, int dx, int dy) {
        const std::vector<long> before = TestUtil::WindowRect(rec.m_hFrameWindow);
        SetCursorPos(before[0] + x, before[1] + y);
        SendMessageW(rec.m_hRenderWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SetCursorPos(before[0] + x + dx, before[1] + y + dy);
        SendMessageW(rec.m_hRenderWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + dx, y + dy));
        SendMessageW(rec.m_hRenderWindow, WM_LBUTTONUP, 0, MAKELPARAM(x + dx, y + dy));
        const std::vector<long> after = TestUtil::WindowRect(rec.m_hFrameWindow);
        return std::pair(after[0] - before[0], after[1] - before[1]);
    };
    const struct {
        int y;
        bool claim, drags;
    } presses[] = {{31, false, true}, {32, false, false}, {5, true, false}};
    for (const auto& c : presses) {
        log.clear();
        listener.claim = c.claim;
        EXPECT_EQ(drag(100, c.y, 50, 40), c.drags ? std::pair(50L, 40L) : std::pair(0L, 0L)) << c.y;
        const std::string to = " 150 " + std::to_string(c.y + 40);
        Log expected = {"r.mouse 1 100 " + std::to_string(c.y), "r.hit 100", "r.mouse 0" + to, "r.mouse 2" + to};
        if (c.drags)
            expected.erase(expected.begin() + 2);
        EXPECT_EQ(log, expected);
    }

    const struct {
        bool frame;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const char* logged;
    } messages[] = {
        {false, WM_MOUSEMOVE, 0, static_cast<LPARAM>(0xFFF6FFFFu), "r.mouse 0 65535 65526"}, // unsigned halves
        {false, WM_RBUTTONDOWN, 0, MAKELPARAM(7, 8), "r.mouse 4 7 8"},
        {false, WM_LBUTTONDBLCLK, 0, MAKELPARAM(11, 12), "r.mouse 7 11 12"},
        {false, WM_KEYDOWN, 0x1041, 0x001E0001, "r.key 0 4161 1966081"},
        {false, WM_KEYUP, 'A', static_cast<LPARAM>(0xC01E0001u), "r.key 1 65 3223191553"},
        {false, WM_IME_COMPOSITION, 0x4E2D, 0x1800, "r.key 4 20013 6144"},
        {true, WM_COMMAND, MAKEWPARAM(42, 0), 0x1234, "r.cmd 0 42 4660"},
        // Closing is the client's decision; the source comes from the high word.
        {true, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(0, 0xFFFF), "r.sys 1 61536 0 65535"},
        {true, WM_SYSCOMMAND, SC_CLOSE, 0, "r.sys 2 61536 0 0"},
        {true, WM_SYSCOMMAND, SC_MINIMIZE, 0, "r.sys 2 61472 0 0"}, // other commands: default processing
    };
    for (const auto& c : messages) {
        log.clear();
        const HWND target = c.frame ? rec.m_hFrameWindow : rec.m_hRenderWindow;
        EXPECT_EQ(SendMessageW(target, c.message, c.wParam, c.lParam), 0) << std::hex << c.message;
        ReleaseCapture();
        EXPECT_EQ(log, Log{c.logged}) << std::hex << c.message;
    }
    EXPECT_TRUE(IsIconic(rec.m_hFrameWindow));
    EXPECT_EQ(SendMessageW(rec.m_hFrameWindow, WM_NCHITTEST, 0, 0), HTCLIENT);

    // Without an input service system commands get default processing and the strip still drags.
    rec.m_pInput = nullptr;
    SendMessageW(rec.m_hFrameWindow, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(rec.m_hFrameWindow));
    EXPECT_EQ(drag(5, 5, 20, 10), std::pair(20L, 10L));
    engine.Shutdown();
    TestUtil::Pump(50);
}
