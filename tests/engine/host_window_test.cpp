// The host windows with real messages; the input service and the display are
// test doubles set into the host window record.
#include <gtest/gtest.h>

#include <sstream>

#include "DDGameEngine.h"
#include "Display.h"
#include "Input.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

namespace {

// Records every call as text: m(event,x,y) k(event,code,param) c(kind,id,param) s(kind,command,x,y) move(x,y).
struct Fakes : IInput, IDisplay {
    std::vector<std::string> log;
    bool claim = false; // HitTest answer
    template <typename... T>
    void Log(const char* name, T... values)
    {
        std::ostringstream os;
        os << name;
        ((os << ' ' << values), ...);
        log.push_back(os.str());
    }
    void AddInputListener(IInputEvent*) override {}
    void RemoveInputListener(IInputEvent*) override {}
    void AddCommandListener(ICommandEvent*) override {}
    void RemoveCommandListener(ICommandEvent*) override {}
    void EnumInputListeners(IInputListenerVisitor*) override {}
    bool HitTest(int, int) override { return claim; }
    void OnMouse(int e, int x, int y) override { Log("m", e, x, y); }
    void OnKey(int e, unsigned short code, DWORD param) override { Log("k", e, code, param); }
    void OnCommand(int kind, unsigned short id, DWORD param) override { Log("c", kind, id, param); }
    void OnSysCommand(int kind, DWORD cmd, unsigned short x, unsigned short y) override { Log("s", kind, cmd, x, y); }
    bool Initialize(HWND, HWND) override { return true; }
    void ShowWindow(int) override {}
    void OnWindowMove(int x, int y) override { Log("move", x, y); }
    void OnWindowResize(int, int) override {}
    bool Update(DWORD) override { return false; }
    HRESULT Present() override { return S_OK; }
    ICanvas* GetCanvas() override { return nullptr; }
    bool AddObject(IDisplayObject*, unsigned int) override { return false; }
    void RemoveAllObjects() override {}
    void XorWindowRegion(int, int, int, int) override {}
};

class HostWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring cls = TestUtil::UniqueClassName(L"HostWindow");
        ASSERT_TRUE(engine_.Initialize(GetModuleHandleW(nullptr), cls.c_str(), nullptr, 800, 600, 732, 32, SW_SHOW));
        rec_ = &engine_.GetHostWindow();
        rec_->m_pInput = &fakes_;
        rec_->m_pDisplay = &fakes_;
        TestUtil::Pump(100);
        fakes_.log.clear();
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
    // Presses at client point (x, y) with the real cursor there, drags by (dx, dy) and releases.
    void Drag(int x, int y, int dx, int dy)
    {
        const POINT origin = FramePos();
        SetCursorPos(origin.x + x, origin.y + y);
        SendMessageW(rec_->m_hRenderWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SetCursorPos(origin.x + x + dx, origin.y + y + dy);
        SendMessageW(rec_->m_hRenderWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + dx, y + dy));
        SendMessageW(rec_->m_hRenderWindow, WM_LBUTTONUP, 0, MAKELPARAM(x + dx, y + dy));
    }

    CDDGameEngine engine_;
    HostWindow* rec_ = nullptr;
    Fakes fakes_;
};

} // namespace

TEST_F(HostWindowTest, BorderlessFrameLosesThreePixelsPerCorner)
{
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(rec_->m_hFrameWindow, rgn), ERROR);
    const POINT outside[] = {{0, 0},   {1, 0},   {0, 1},   {799, 0},   {798, 0},   {799, 1},
                             {0, 599}, {1, 599}, {0, 598}, {799, 599}, {798, 599}, {799, 598}};
    const POINT inside[] = {{2, 0}, {1, 1}, {797, 0}, {798, 1}, {1, 598}, {2, 599}, {798, 598}, {400, 300}};
    for (POINT p : outside)
        EXPECT_FALSE(PtInRegion(rgn, p.x, p.y)) << p.x << "," << p.y;
    for (POINT p : inside)
        EXPECT_TRUE(PtInRegion(rgn, p.x, p.y)) << p.x << "," << p.y;
    DeleteObject(rgn);
    // No caption and no border (the system keeps WS_CLIPSIBLINGS on top-level windows).
    EXPECT_EQ(GetWindowLongW(rec_->m_hFrameWindow, GWL_STYLE) & ~WS_CLIPSIBLINGS & ~WS_VISIBLE, 0x020A0000);
    EXPECT_EQ(GetParent(rec_->m_hRenderWindow), rec_->m_hFrameWindow);
}

TEST_F(HostWindowTest, MessagesReachInputAndDisplay)
{
    struct Case {
        bool frame;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const char* logged; // nullptr: nothing
        LRESULT result;
    } const cases[] = {
        {false, WM_MOUSEMOVE, 0, static_cast<LPARAM>(0xFFF6FFFFu), "m 0 65535 65526", 0}, // unsigned halves
        {false, WM_RBUTTONDOWN, 0, MAKELPARAM(7, 8), "m 4 7 8", 0},
        {false, WM_RBUTTONUP, 0, MAKELPARAM(9, 10), "m 5 9 10", 0},
        {false, WM_LBUTTONDBLCLK, 0, MAKELPARAM(11, 12), "m 7 11 12", 0},
        {false, WM_KEYDOWN, 0x1041, 0x001E0001, "k 0 4161 1966081", 0},
        {false, WM_KEYUP, 'A', static_cast<LPARAM>(0xC01E0001u), "k 1 65 3223191553", 0},
        {false, WM_CHAR, 'a', 1, "k 2 97 1", 0},
        {false, WM_IME_STARTCOMPOSITION, 0, 0, "k 3 0 0", 0},
        {false, WM_IME_COMPOSITION, 0x4E2D, 0x1800, "k 4 20013 6144", 0},
        {false, WM_IME_ENDCOMPOSITION, 0, 0, "k 5 0 0", 0},
        {true, WM_IME_CHAR, 0x4E2D, 1, "k 6 20013 1", 0},
        {true, WM_KEYDOWN, VK_SPACE, 5, "k 0 32 5", 0},
        {false, WM_MOUSELEAVE, 0, 0, "move -1 -1", 0},
        {false, WM_ERASEBKGND, 0, 0, nullptr, 1},
        {true, WM_COMMAND, MAKEWPARAM(42, 0), 0x1234, "c 0 42 4660", 0},
        {true, WM_COMMAND, MAKEWPARAM(43, 1), 0, "c 1 43 0", 0},
        // Closing is the client's decision; the source comes from the high word.
        {true, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(10, 20), "s 0 61536 10 20", 0},
        {true, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(0, 0xFFFF), "s 1 61536 0 65535", 0},
        {true, WM_SYSCOMMAND, SC_CLOSE, 0, "s 2 61536 0 0", 0},
        {true, WM_NCHITTEST, 0, 0, nullptr, HTCLIENT},
    };
    for (const Case& c : cases) {
        fakes_.log.clear();
        HWND target = c.frame ? rec_->m_hFrameWindow : rec_->m_hRenderWindow;
        EXPECT_EQ(SendMessageW(target, c.message, c.wParam, c.lParam), c.result) << std::hex << c.message;
        ReleaseCapture();
        EXPECT_EQ(fakes_.log, c.logged ? std::vector<std::string>{c.logged} : std::vector<std::string>{})
            << std::hex << c.message;
    }
    EXPECT_TRUE(IsWindow(rec_->m_hFrameWindow));

    SetWindowPos(rec_->m_hFrameWindow, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(fakes_.log.back(), "move 40 50"); // client origin of a borderless window
    SendMessageW(rec_->m_hFrameWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    TestUtil::Pump(5000, [&] { return IsIconic(rec_->m_hFrameWindow) != FALSE; });
    EXPECT_TRUE(IsIconic(rec_->m_hFrameWindow));
}

// A left press above the caption height that no listener claims drags the
// frame; its moves are not reported.
TEST_F(HostWindowTest, PressInCaptionStripDragsTheFrame)
{
    struct Case {
        int y;
        bool claim, drags;
    } const cases[] = {{31, false, true}, {32, false, false}, {5, true, false}};
    for (const Case& c : cases) {
        fakes_.log.clear();
        fakes_.claim = c.claim;
        const POINT before = FramePos();
        Drag(100, c.y, 50, 40);
        const POINT after = FramePos();
        EXPECT_EQ(after.x - before.x, c.drags ? 50 : 0) << c.y;
        EXPECT_EQ(after.y - before.y, c.drags ? 40 : 0) << c.y;
        std::vector<std::string> expected = {"m 1 100 " + std::to_string(c.y)};
        expected.push_back(c.drags ? "move " + std::to_string(after.x) + " " + std::to_string(after.y)
                                   : "m 0 150 " + std::to_string(c.y + 40));
        expected.push_back("m 2 150 " + std::to_string(c.y + 40));
        EXPECT_EQ(fakes_.log, expected);
        EXPECT_FALSE(rec_->m_bDragging);
    }
    // Without an input service the strip still drags and system commands get default processing.
    rec_->m_pInput = nullptr;
    const POINT before = FramePos();
    Drag(5, 5, 20, 10);
    EXPECT_EQ(FramePos().x, before.x + 20);
    SendMessageW(rec_->m_hFrameWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    TestUtil::Pump(5000, [&] { return IsIconic(rec_->m_hFrameWindow) != FALSE; });
    EXPECT_TRUE(IsIconic(rec_->m_hFrameWindow));
}
