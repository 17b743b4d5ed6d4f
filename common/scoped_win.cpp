#include "common/scoped_win.h"

namespace win {

WindowClass::WindowClass(const WNDCLASSEXW& wc) : atom_(RegisterClassExW(&wc)), instance_(wc.hInstance) {}

WindowClass::~WindowClass() {
    if (atom_)
        UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom_)), instance_);
}

} // namespace win
