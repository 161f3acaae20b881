#include "CInput.h"

#include <algorithm>
#include <cstring>

namespace Veld {
namespace Game {

CInput::CInput()
{
    std::memset(m_visitContext, 0, sizeof(m_visitContext));
}

CInput::~CInput()
{
    Clear();
}

void CInput::Clear()
{
    // Listeners are not told; the command registry goes first.
    m_commandRegistry = CListenerRegistry<ICommandEvent>();
    m_inputList.clear();
    m_inputRegistry = CListenerRegistry<IInputEvent>();
}

void CInput::AddInputListener(IInputEvent* pListener)
{
    if (!pListener)
        return;
    m_inputList.push_back(pListener);
    m_inputRegistry.Add(pListener);
}

void CInput::RemoveInputListener(IInputEvent* pListener)
{
    if (!pListener)
        return;
    auto it = std::find(m_inputList.begin(), m_inputList.end(), pListener);
    if (it != m_inputList.end())
        m_inputList.erase(it);
    m_inputRegistry.Remove(pListener);
}

void CInput::AddCommandListener(ICommandEvent* pListener)
{
    if (pListener)
        m_commandRegistry.Add(pListener);
}

void CInput::RemoveCommandListener(ICommandEvent* pListener)
{
    if (pListener)
        m_commandRegistry.Remove(pListener);
}

void CInput::EnumInputListeners(IInputListenerVisitor* pVisitor)
{
    if (!pVisitor)
        return;
    DispatchScope scope(m_nDispatchDepth);
    pVisitor->Begin();
    // Indexed walk: a visitor that changes the list ends the walk early
    // instead of reading freed memory.
    for (std::size_t i = 0; i < m_inputList.size(); ++i) {
        if (!pVisitor->Visit(m_inputList[i], m_visitContext))
            break;
    }
    pVisitor->End();
}

bool CInput::HitTest(int x, int y)
{
    DispatchScope scope(m_nDispatchDepth);
    for (std::size_t i = 0; i < m_inputList.size(); ++i) {
        if (m_inputList[i]->HitTest(x, y))
            return true;
    }
    return false;
}

void CInput::OnMouse(int nEvent, int x, int y)
{
    DispatchScope scope(m_nDispatchDepth);
    m_inputRegistry.Fire(&IInputEvent::OnMouse, nEvent, x, y);
}

void CInput::OnKey(int nEvent, unsigned short nCode, DWORD dwParam)
{
    DispatchScope scope(m_nDispatchDepth);
    m_inputRegistry.Fire(&IInputEvent::OnKey, nEvent, nCode, dwParam);
}

void CInput::OnCommand(int nKind, unsigned short nId, DWORD dwParam)
{
    DispatchScope scope(m_nDispatchDepth);
    m_commandRegistry.Fire(&ICommandEvent::OnCommand, nKind, nId, dwParam);
}

void CInput::OnSysCommand(int nKind, DWORD dwCommand, unsigned short x, unsigned short y)
{
    DispatchScope scope(m_nDispatchDepth);
    m_commandRegistry.Fire(&ICommandEvent::OnSysCommand, nKind, dwCommand, x, y);
}

} // namespace Game
} // namespace Veld
