// COM's owners on Windows, shared by the library (icons' PNG entries) and
// the JPEG library stand-in, both of which reach the system's imaging
// component: an interface pointer released when its owner goes, and COM
// initialised for a scope.
#pragma once

#include <windows.h>

namespace vc::plat {

template <class T>
struct Com {
    T *p = nullptr;
    Com() = default;
    Com(const Com &) = delete;
    Com &operator=(const Com &) = delete;
    ~Com() {
        if (p) p->Release();
    }
    T **out() { return &p; }
    T *operator->() const { return p; }
};

// COM for the length of one call; a thread already in another apartment
// mode still works, and then must not be uninitialised by us.
struct ComScope {
    bool mine;
    ComScope() : mine(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (mine) CoUninitialize();
    }
    ComScope(const ComScope &) = delete;
    ComScope &operator=(const ComScope &) = delete;
};

}  // namespace vc::plat
