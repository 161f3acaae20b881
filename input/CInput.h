// The input service: hands the host window's mouse, keyboard and command
// events to the client's listeners.
#pragma once

#include <vector>

#include "Input.h"
#include "ListenerRegistry.h"

namespace Veld {
namespace Game {

class CInput final : public IInput {
public:
    CInput();
    ~CInput();

    CInput(const CInput&) = delete;
    CInput& operator=(const CInput&) = delete;

    void AddInputListener(IInputEvent* pListener) override;
    void RemoveInputListener(IInputEvent* pListener) override;
    void AddCommandListener(ICommandEvent* pListener) override;
    void RemoveCommandListener(ICommandEvent* pListener) override;
    void EnumInputListeners(IInputListenerVisitor* pVisitor) override;
    bool HitTest(int x, int y) override;
    void OnMouse(int nEvent, int x, int y) override;
    void OnKey(int nEvent, unsigned short nCode, DWORD dwParam) override;
    void OnCommand(int nKind, unsigned short nId, DWORD dwParam) override;
    void OnSysCommand(int nKind, DWORD dwCommand, unsigned short x, unsigned short y) override;

    /// True while an event is being handed to listeners.
    bool IsDispatching() const { return m_nDispatchDepth > 0; }
    /// Forgets every listener; an event in progress calls no one else.
    void Clear();

private:
    struct DispatchScope {
        explicit DispatchScope(int& depth) : m_depth(depth) { ++m_depth; }
        ~DispatchScope() { --m_depth; }
        int& m_depth;
    };

    CListenerRegistry<IInputEvent> m_inputRegistry;
    std::vector<IInputEvent*> m_inputList; // every AddInputListener call, duplicates kept
    CListenerRegistry<ICommandEvent> m_commandRegistry;
    unsigned char m_visitContext[8]; // handed to visitors, never read here
    int m_nDispatchDepth = 0;
};

} // namespace Game
} // namespace Veld
