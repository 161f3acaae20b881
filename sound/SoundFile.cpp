#include "SoundFile.h"

#include <map>

namespace Veld {
namespace Game {

namespace {

// Filled on the engine's thread only (the sound device registers its types).
std::map<std::wstring, SoundFileFactory>& Registry()
{
    static std::map<std::wstring, SoundFileFactory> registry;
    return registry;
}

} // namespace

bool RegisterSoundFileType(const std::wstring& extension, SoundFileFactory factory)
{
    std::wstring key(extension);
    for (wchar_t& c : key) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return Registry().emplace(key, factory).second;
}

ISoundFile* CreateSoundFile(const std::wstring& extension)
{
    auto it = Registry().find(extension);
    if (it == Registry().end() || !it->second)
        return nullptr;
    return it->second();
}

} // namespace Game
} // namespace Veld
