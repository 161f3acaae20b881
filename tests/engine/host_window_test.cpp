// The host windows with real messages; the input service and the display are
// test doubles set into the host window record.
#include <gtest/gtest.h>

#include <vector>

#include "DDGameEngine.h"
#include "Display.h"
#include "Input.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

namespace {

struct Event {
    char kind; // 'm'ouse, 'k'ey, 'c'ommand, 's'yscommand
    int code;
    long a, b;
    bool operator==(const Event& o) const { return kind == o.kind && code == o.code && a == o.a && b == o.b; }
};

std::ostream& operator<<(std::ostream& os, const Event& e)
{
    return os << e.kind << "(" << e.code << ", " << e.a << ", " << e.b << ")";
}

struct FakeInput : IInput {
    std::vector<Event> events;
    bool claim = false; // HitTest answer
    void AddInputListener(IInputEvent*) override {}
    void RemoveInputListener(IInputEvent*) override {}
    void AddCommandListener(ICommandEvent*) override {}
    void RemoveCommandListener(ICommandEvent*) override {}
    void EnumInputListeners(IInputListenerVisitor*) override {}
    bool HitTest(int, int) override { return claim; }
    void OnMouse(int e, int x, int y) override { events.push_back({'m', e, x, y}); }
    void OnKey(int e, unsigned short code, DWORD param) override
    {
        events.push_back({'k', e, code, static_cast<long>(param)});
    }
    void OnCommand(int kind, unsigned short id, DWORD param) override
    {
        events.push_back({'c', kind, id, static_cast<long>(param)});
    }
    void OnSysCommand(int kind, DWORD command, unsigned short x, unsigned short y) override
    {
        events.push_back({'s', kind, static_cast<long>(command), (static_cast<long>(x) << 16) | y});
    }
    size_t Count(char kind, int code) const
    {
        size_t n = 0;
        for (const Event& e : events)
            n += e.kind == kind && e.code == code;
        return n;
    }
};

struct FakeDisplay : IDisplay {
    std::vector<POINT> moves;
    bool Initialize(HWND, HWND) override { return true; }
    void ShowWindow(int) override {}
    void OnWindowMove(int x, int y) override { moves.push_back({x, y}); }
    void OnWindowResize(int, int) override {}
    bool Update(DWORD) override { return false; }
    HRESULT Present() override { return S_OK; }
    ICanvas* GetCanvas() override { return nullptr; }
    bool AddObject(IDisplayObject*, unsigned int) override { return false; }
    void RemoveAllObjects() override {}
    void XorWindowRegion(int, int, int, int) override {}
};

// An initialised engine with fakes wired into its window record.
class HostWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cls_ = TestUtil::UniqueClassName(L"HostWindow");
        ASSERT_TRUE(engine_.Initialize(GetModuleHandleW(nullptr), cls_.c_str(), nullptr, 800, 600, 732, 32, SW_SHOW));
        rec_ = &engine_.GetHostWindow();
        rec_->m_pInput = &input_;
        rec_->m_pDisplay = &display_;
        TestUtil::Pump(100);
        input_.events.clear();
        display_.moves.clear();
    }
    void TearDown() override
    {
        ReleaseCapture();
        engine_.Shutdown();
        TestUtil::Pump(50);
    }
    POINT FramePos() const
    {
        RECT rc = {};
        GetWindowRect(rec_->m_hFrameWindow, &rc);
        return {rc.left, rc.top};
    }
    // Presses at client point (x, y) with the real cursor there, then drags by (dx, dy).
    void PressAndDrag(int x, int y, int dx, int dy)
    {
        POINT origin = FramePos();
        SetCursorPos(origin.x + x, origin.y + y);
        SendMessageW(rec_->m_hRenderWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SetCursorPos(origin.x + x + dx, origin.y + y + dy);
        SendMessageW(rec_->m_hRenderWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + dx, y + dy));
    }
    void Release(int x, int y) { SendMessageW(rec_->m_hRenderWindow, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }

    CDDGameEngine engine_;
    HostWindow* rec_ = nullptr;
    FakeInput input_;
    FakeDisplay display_;
    std::wstring cls_;
};

} // namespace

TEST_F(HostWindowTest, FrameRegionLosesThreePixelsPerCorner)
{
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(rec_->m_hFrameWindow, rgn), ERROR);
    const POINT outside[] = {{0, 0},   {1, 0},   {0, 1},   {799, 0},   {798, 0},   {799, 1},
                             {0, 599}, {1, 599}, {0, 598}, {799, 599}, {798, 599}, {799, 598}};
    for (POINT p : outside)
        EXPECT_FALSE(PtInRegion(rgn, p.x, p.y)) << p.x << "," << p.y;
    const POINT inside[] = {{2, 0}, {1, 1}, {797, 0}, {798, 1}, {1, 598}, {2, 599}, {798, 598}, {400, 300}};
    for (POINT p : inside)
        EXPECT_TRUE(PtInRegion(rgn, p.x, p.y)) << p.x << "," << p.y;
    DeleteObject(rgn);

    // No caption and no border (the system keeps WS_CLIPSIBLINGS on top-level windows).
    const LONG style = GetWindowLongW(rec_->m_hFrameWindow, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME), 0);
    EXPECT_EQ(style & 0x020A0000, 0x020A0000);
    EXPECT_EQ(GetParent(rec_->m_hRenderWindow), rec_->m_hFrameWindow);
}

TEST_F(HostWindowTest, PressInCaptionStripDragsTheFrame)
{
    POINT before = FramePos();
    PressAndDrag(100, 31, 50, 40);
    POINT after = FramePos();
    EXPECT_EQ(after.x, before.x + 50);
    EXPECT_EQ(after.y, before.y + 40);
    EXPECT_EQ(input_.Count('m', 0), 0u) << "moves during a drag are not reported";
    EXPECT_EQ(input_.Count('m', 1), 1u);
    Release(150, 71);
    EXPECT_EQ(input_.events.back(), (Event{'m', 2, 150, 71}));
    EXPECT_FALSE(rec_->m_bDragging);

    // After the release, moves are mouse events again and the frame stays.
    SendMessageW(rec_->m_hRenderWindow, WM_MOUSEMOVE, 0, MAKELPARAM(3, 4));
    EXPECT_EQ(input_.events.back(), (Event{'m', 0, 3, 4}));
    EXPECT_EQ(FramePos().x, after.x);
}

TEST_F(HostWindowTest, PressBelowStripOrOnAClaimedPointDoesNotDrag)
{
    POINT before = FramePos();
    PressAndDrag(100, 32, 50, 40);
    EXPECT_EQ(FramePos().x, before.x);
    EXPECT_EQ(FramePos().y, before.y);
    EXPECT_EQ(input_.Count('m', 0), 1u);
    Release(150, 72);

    input_.claim = true;
    input_.events.clear();
    PressAndDrag(100, 5, 30, 30);
    EXPECT_EQ(FramePos().x, before.x);
    EXPECT_EQ(input_.Count('m', 1), 1u) << "the listener still gets the press";
    Release(130, 35);
}

TEST_F(HostWindowTest, MouseAndKeyMessagesReachInput)
{
    HWND render = rec_->m_hRenderWindow;
    // Coordinates are unsigned halves: 0xFFFF stays 65535, never -1.
    SendMessageW(render, WM_MOUSEMOVE, 0, static_cast<LPARAM>(0xFFF6FFFFu));
    SendMessageW(render, WM_RBUTTONDOWN, 0, MAKELPARAM(7, 8));
    SendMessageW(render, WM_RBUTTONUP, 0, MAKELPARAM(9, 10));
    SendMessageW(render, WM_LBUTTONDBLCLK, 0, MAKELPARAM(11, 12));
    ReleaseCapture();
    SendMessageW(render, WM_KEYDOWN, 0x1041, 0x001E0001);
    SendMessageW(render, WM_KEYUP, 'A', 0xC01E0001);
    SendMessageW(render, WM_CHAR, 'a', 1);
    SendMessageW(render, WM_IME_STARTCOMPOSITION, 0, 0);
    SendMessageW(render, WM_IME_COMPOSITION, 0x4E2D, 0x1800);
    SendMessageW(render, WM_IME_ENDCOMPOSITION, 0, 0);
    SendMessageW(render, WM_IME_CHAR, 0x4E2D, 1);
    const std::vector<Event> expected = {{'m', 0, 65535, 65526},
                                         {'m', 4, 7, 8},
                                         {'m', 5, 9, 10},
                                         {'m', 7, 11, 12},
                                         {'k', 0, 0x1041, 0x001E0001},
                                         {'k', 1, 'A', static_cast<long>(0xC01E0001)},
                                         {'k', 2, 'a', 1},
                                         {'k', 3, 0, 0},
                                         {'k', 4, 0x4E2D, 0x1800},
                                         {'k', 5, 0, 0},
                                         {'k', 6, 0x4E2D, 1}};
    EXPECT_EQ(input_.events, expected);

    // The frame window reports keys with the same codes.
    input_.events.clear();
    SendMessageW(rec_->m_hFrameWindow, WM_KEYDOWN, VK_SPACE, 5);
    EXPECT_EQ(input_.events, (std::vector<Event>{{'k', 0, VK_SPACE, 5}}));

    SendMessageW(render, WM_MOUSELEAVE, 0, 0);
    ASSERT_EQ(display_.moves.size(), 1u);
    EXPECT_EQ(display_.moves[0].x, -1);
    EXPECT_EQ(display_.moves[0].y, -1);
    EXPECT_EQ(SendMessageW(render, WM_ERASEBKGND, 0, 0), 1);
}

TEST_F(HostWindowTest, CommandsAndSystemCommands)
{
    HWND frame = rec_->m_hFrameWindow;
    SendMessageW(frame, WM_COMMAND, MAKEWPARAM(42, 0), 0x1234);
    SendMessageW(frame, WM_COMMAND, MAKEWPARAM(43, 1), 0);
    EXPECT_EQ(input_.events[0], (Event{'c', 0, 42, 0x1234}));
    EXPECT_EQ(input_.events[1], (Event{'c', 1, 43, 0}));

    input_.events.clear();
    EXPECT_EQ(SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(10, 20)), 0);
    EXPECT_TRUE(IsWindow(frame)) << "closing is left to the client";
    SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(0, 0xFFFF)); // high word negative: accelerator
    SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);                     // high word 0: keyboard
    ASSERT_EQ(input_.events.size(), 3u);
    EXPECT_EQ(input_.events[0], (Event{'s', 0, SC_CLOSE, (10L << 16) | 20}));
    EXPECT_EQ(input_.events[1].code, 1);
    EXPECT_EQ(input_.events[2].code, 2);

    SendMessageW(frame, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_EQ(input_.events.back().a, static_cast<long>(SC_MINIMIZE));
    TestUtil::Pump(200, [&] { return IsIconic(frame) != FALSE; });
    EXPECT_TRUE(IsIconic(frame));
    EXPECT_EQ(SendMessageW(frame, WM_NCHITTEST, 0, 0), HTCLIENT);
}

TEST_F(HostWindowTest, FrameMovesReachTheDisplay)
{
    SetWindowPos(rec_->m_hFrameWindow, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    TestUtil::Pump(50);
    ASSERT_FALSE(display_.moves.empty());
    EXPECT_EQ(display_.moves.back().x, 40); // client origin of a borderless window
    EXPECT_EQ(display_.moves.back().y, 50);
}

TEST_F(HostWindowTest, ControlMessagesAreReflectedToTheChild)
{
    // A child control that answers the reflected numbers.
    struct Child {
        static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
        {
            if (m == 0x042B || m == 0x0533 || m == 0x0534)
                return m;
            return DefWindowProcW(h, m, w, l);
        }
    };
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &Child::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    std::wstring cls = TestUtil::UniqueClassName(L"ReflectChild");
    wc.lpszClassName = cls.c_str();
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND frame = rec_->m_hFrameWindow;
    HWND child = CreateWindowExW(0, cls.c_str(), L"", WS_CHILD, 0, 0, 10, 10, frame, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(child, nullptr);

    DRAWITEMSTRUCT dis = {};
    dis.hwndItem = child;
    EXPECT_EQ(SendMessageW(frame, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)), 0x042B);
    EXPECT_EQ(SendMessageW(frame, WM_CTLCOLOREDIT, 0, reinterpret_cast<LPARAM>(child)), 0x0533);
    EXPECT_EQ(SendMessageW(frame, WM_CTLCOLORLISTBOX, 0, reinterpret_cast<LPARAM>(child)), 0x0534);
    EXPECT_EQ(SendMessageW(frame, WM_CTLCOLORSTATIC, 0, reinterpret_cast<LPARAM>(child)), 0x0533);
    DestroyWindow(child);
}

TEST(HostWindowLifecycle, RefreshTimerCanBeTakenOverByTheClient)
{
    struct Counter : ITimerEvent {
        int calls = 0;
        void OnTimer(int id) override { calls += id == kRefreshTimerId; }
    } counter;
    CDDGameEngine engine;
    std::wstring cls = TestUtil::UniqueClassName(L"Refresh");
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 100, 732, 32, SW_SHOW));
    engine.SetTimer(20, kRefreshTimerId, &counter);
    TestUtil::Pump(1000, [&] { return counter.calls >= 2; });
    EXPECT_GE(counter.calls, 2);
    engine.KillTimer(kRefreshTimerId);
    engine.Shutdown();
    TestUtil::Pump(50);
}

TEST(HostWindowLifecycle, NoInputMeansDefaultSystemCommands)
{
    CDDGameEngine engine;
    std::wstring cls = TestUtil::UniqueClassName(L"NoInput");
    ASSERT_TRUE(engine.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 200, 100, 732, 32, SW_SHOW));
    HWND frame = engine.GetWindowHandle();
    engine.GetHostWindow().m_pInput = nullptr;
    // Without an input service, a left press in the strip still drags.
    HWND render = engine.GetHostWindow().m_hRenderWindow;
    SendMessageW(render, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(engine.GetHostWindow().m_bDragging);
    SendMessageW(render, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(frame, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    TestUtil::Pump(200, [&] { return IsIconic(frame) != FALSE; });
    EXPECT_TRUE(IsIconic(frame));
    engine.Shutdown();
    TestUtil::Pump(50);
}
