#include <new>
#include <windows.h>

#include "DDGameEngine.h"

using Veld::Game::CDDGameEngine;
using Veld::Game::IGameEngine;

extern "C" IGameEngine* CreateGameEngine()
{
    CDDGameEngine* engine = new (std::nothrow) CDDGameEngine();
    return engine ? static_cast<IGameEngine*>(engine) : nullptr;
}

extern "C" void DestoryGameEngine(IGameEngine* pEngine)
{
    // Only our own class is destroyed; null and foreign objects are ignored.
    delete dynamic_cast<CDDGameEngine*>(pEngine);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
