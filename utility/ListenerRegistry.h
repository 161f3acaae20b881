#pragma once

#include <algorithm>
#include <vector>

namespace Veld::Game {

// Ordered, non-owning list of listeners of interface T. A listener appears
// at most once; adding it again moves it to the end.
//
// Fire walks a snapshot of the list and looks each listener up again before
// calling it, so callbacks may add, remove or fire on the same registry:
// a listener removed during Fire is not called after its removal, one added
// during Fire is first called by the next Fire, and one removed and added
// again is called once, in its old place. Not thread-safe; every call on a
// registry must come from one thread at a time.
template <class T> class CListenerRegistry {
public:
    void Add(T* listener)
    {
        if (!listener)
            return;
        Remove(listener);
        m_listeners.push_back(listener);
    }

    void Remove(T* listener)
    {
        m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
    }

    bool Contains(T* listener) const
    {
        return listener && std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end();
    }

    // Calls (listener->*op)(args...) on every listener registered now and
    // still registered when its turn comes. Results are discarded. The
    // arguments are passed on as lvalues, so every listener gets the same
    // values.
    template <class Op, class... Args> void Fire(Op op, const Args&... args)
    {
        const std::vector<T*> snapshot(m_listeners);
        for (T* listener : snapshot) {
            if (Contains(listener))
                (listener->*op)(args...);
        }
    }

private:
    std::vector<T*> m_listeners;
};

} // namespace Veld::Game
