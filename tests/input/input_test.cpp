// The input service on its own, and end to end from real window messages to
// the client's listeners.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CInput.h"
#include "DDGameEngine.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

namespace {

struct Listener : IInputEvent {
    std::string name;
    std::vector<std::string>* log;
    bool claim = false;
    std::vector<int> hitAsked;
    std::function<void()> onMouse; // runs inside OnMouse
    std::function<void()> onKey;   // runs inside OnKey

    Listener(const char* n, std::vector<std::string>* l) : name(n), log(l) {}
    bool HitTest(int x, int) override
    {
        hitAsked.push_back(x);
        return claim;
    }
    bool OnMouse(int e, int x, int y) override
    {
        log->push_back(name + ".mouse(" + std::to_string(e) + "," + std::to_string(x) + "," + std::to_string(y) + ")");
        if (onMouse)
            onMouse();
        return true;
    }
    bool OnKey(int e, unsigned short code, DWORD param) override
    {
        log->push_back(name + ".key(" + std::to_string(e) + "," + std::to_string(code) + "," + std::to_string(param) +
                       ")");
        if (onKey)
            onKey();
        return true;
    }
};

struct Commands : ICommandEvent {
    std::vector<std::string>* log;
    explicit Commands(std::vector<std::string>* l) : log(l) {}
    bool OnCommand(int kind, unsigned short id, DWORD param) override
    {
        log->push_back("cmd(" + std::to_string(kind) + "," + std::to_string(id) + "," + std::to_string(param) + ")");
        return true;
    }
    bool OnSysCommand(int kind, DWORD command, unsigned short x, unsigned short y) override
    {
        log->push_back("sys(" + std::to_string(kind) + "," + std::to_string(command) + "," + std::to_string(x) + "," +
                       std::to_string(y) + ")");
        return true;
    }
};

struct Visitor : IInputListenerVisitor {
    std::vector<std::string> calls;
    int stopAfter = 1000;
    void* context = nullptr;
    void Begin() override { calls.push_back("begin"); }
    bool Visit(IInputEvent* l, void* ctx) override
    {
        context = ctx;
        calls.push_back(static_cast<Listener*>(l)->name);
        return static_cast<int>(calls.size()) - 1 < stopAfter;
    }
    void End() override { calls.push_back("end"); }
};

using Log = std::vector<std::string>;

} // namespace

TEST(Input, DuplicatesTakeTwoPlacesButHearEachEventOnce)
{
    CInput input;
    Log log;
    Listener a("a", &log), b("b", &log);
    input.AddInputListener(&a);
    input.AddInputListener(&b);
    input.AddInputListener(&a);
    input.AddInputListener(nullptr);

    input.OnMouse(1, 3, 4);
    EXPECT_EQ(log, (Log{"b.mouse(1,3,4)", "a.mouse(1,3,4)"})); // the second add moved a to the end

    Visitor v;
    input.EnumInputListeners(&v);
    EXPECT_EQ(v.calls, (std::vector<std::string>{"begin", "a", "b", "a", "end"}));
    ASSERT_NE(v.context, nullptr);
    EXPECT_EQ(std::memcmp(v.context, "\0\0\0\0\0\0\0\0", 8), 0);

    input.RemoveInputListener(&a);
    log.clear();
    input.OnKey(0, 65, 7);
    EXPECT_EQ(log, (Log{"b.key(0,65,7)"}));
    v.calls.clear();
    input.EnumInputListeners(&v);
    EXPECT_EQ(v.calls, (std::vector<std::string>{"begin", "b", "a", "end"}));

    input.RemoveInputListener(&a);
    v.calls.clear();
    input.EnumInputListeners(&v);
    EXPECT_EQ(v.calls, (std::vector<std::string>{"begin", "b", "end"}));
    input.EnumInputListeners(nullptr);
}

TEST(Input, HitTestFirstAnswerWinsAndVisitorStops)
{
    CInput input;
    Log log;
    EXPECT_FALSE(input.HitTest(1, 1));
    Listener a("a", &log), b("b", &log), c("c", &log);
    a.claim = false;
    b.claim = true;
    c.claim = true;
    input.AddInputListener(&a);
    input.AddInputListener(&b);
    input.AddInputListener(&c);
    EXPECT_TRUE(input.HitTest(9, 9));
    EXPECT_EQ(a.hitAsked.size(), 1u);
    EXPECT_EQ(b.hitAsked.size(), 1u);
    EXPECT_TRUE(c.hitAsked.empty());

    Visitor v;
    v.stopAfter = 1; // the first Visit answers false
    input.EnumInputListeners(&v);
    EXPECT_EQ(v.calls, (std::vector<std::string>{"begin", "a", "end"}));
}

TEST(Input, ListenersChangeTheListDuringEvents)
{
    CInput input;
    Log log;
    Listener a("a", &log), b("b", &log), late("late", &log);
    input.AddInputListener(&a);
    input.AddInputListener(&b);
    a.onMouse = [&] { input.RemoveInputListener(&a); }; // removes itself
    b.onKey = [&] { input.AddInputListener(&late); };   // adds another

    input.OnMouse(0, 1, 2);
    input.OnMouse(0, 3, 4);
    input.OnKey(2, 'x', 0);
    input.OnKey(2, 'y', 0);
    EXPECT_EQ(log, (Log{"a.mouse(0,1,2)", "b.mouse(0,1,2)", "b.mouse(0,3,4)", "b.key(2,120,0)", "b.key(2,121,0)",
                        "late.key(2,121,0)"}));
}

TEST(Input, CommandsReachCommandListenersOnly)
{
    CInput input;
    Log log;
    Commands cmds(&log);
    Listener a("a", &log);
    input.AddInputListener(&a);
    input.AddCommandListener(&cmds);
    input.AddCommandListener(nullptr);
    input.OnCommand(1, 42, 99);
    input.OnSysCommand(2, 0xF060, 10, 20);
    EXPECT_EQ(log, (Log{"cmd(1,42,99)", "sys(2,61536,10,20)"}));
    input.RemoveCommandListener(&cmds);
    input.OnCommand(0, 1, 1);
    EXPECT_EQ(log.size(), 2u);
}

// The whole path: messages sent to the engine's real windows reach listeners
// registered through the engine's input service.
TEST(InputEndToEnd, WindowMessagesReachListeners)
{
    CDDGameEngine engine;
    std::wstring cls = TestUtil::UniqueClassName(L"InputE2E");
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 640, 480, 732, 32, SW_SHOW));
    IInput* input = engine.GetInput();
    ASSERT_NE(input, nullptr);
    Log log;
    Listener l("l", &log);
    Commands cmds(&log);
    input->AddInputListener(&l);
    input->AddCommandListener(&cmds);
    HWND frame = engine.GetWindowHandle();
    HWND render = engine.GetHostWindow().m_hRenderWindow;

    SendMessageW(render, WM_MOUSEMOVE, 0, MAKELPARAM(10, 40));
    SendMessageW(render, WM_CHAR, 0x263A, 0x11);
    SendMessageW(frame, WM_IME_CHAR, 0x4E2D, 1);
    SendMessageW(frame, WM_COMMAND, MAKEWPARAM(7, 1), 5);
    SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(30, 40));
    EXPECT_TRUE(IsWindow(frame));
    EXPECT_EQ(log,
              (Log{"l.mouse(0,10,40)", "l.key(2,9786,17)", "l.key(6,20013,1)", "cmd(1,7,5)", "sys(0,61536,30,40)"}));

    // A listener that claims the strip stops the drag; without the claim the frame moves.
    RECT before;
    GetWindowRect(frame, &before);
    l.claim = true;
    SetCursorPos(before.left + 50, before.top + 10);
    SendMessageW(render, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    SetCursorPos(before.left + 80, before.top + 30);
    SendMessageW(render, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 30));
    SendMessageW(render, WM_LBUTTONUP, 0, MAKELPARAM(80, 30));
    RECT after;
    GetWindowRect(frame, &after);
    EXPECT_EQ(after.left, before.left);

    l.claim = false;
    SetCursorPos(before.left + 50, before.top + 10);
    SendMessageW(render, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 10));
    SetCursorPos(before.left + 80, before.top + 30);
    SendMessageW(render, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(80, 30));
    SendMessageW(render, WM_LBUTTONUP, 0, MAKELPARAM(80, 30));
    GetWindowRect(frame, &after);
    EXPECT_EQ(after.left, before.left + 30);
    EXPECT_EQ(after.top, before.top + 20);

    input->RemoveInputListener(&l);
    input->RemoveCommandListener(&cmds);
    engine.Shutdown();
    EXPECT_EQ(engine.GetInput(), nullptr);
    TestUtil::Pump(50);
}

// A listener may shut the engine down from inside an event (Esc quits): the
// input service outlives the event and the later listeners hear nothing.
TEST(InputEndToEnd, ShutdownFromInsideAListener)
{
    CDDGameEngine engine;
    std::wstring cls = TestUtil::UniqueClassName(L"InputQuit");
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 320, 240, 732, 32, SW_SHOW));
    Log log;
    Listener quitter("q", &log), after("after", &log);
    quitter.onKey = [&] { engine.Shutdown(); };
    engine.GetInput()->AddInputListener(&quitter);
    engine.GetInput()->AddInputListener(&after);
    HWND render = engine.GetHostWindow().m_hRenderWindow;

    SendMessageW(render, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(log, (Log{"q.key(0,27,1)"}));
    EXPECT_FALSE(IsWindow(render));
    EXPECT_EQ(engine.GetInput(), nullptr);
    TestUtil::PumpResult pumped = TestUtil::Pump(100);
    EXPECT_TRUE(pumped.quit);
}
