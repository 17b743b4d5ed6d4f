// Runs a call into a plug-in module so that a fault inside it (access violation, division by zero,
// stack overflow, illegal instruction) becomes a failed call instead of the end of the program.
//
// GCC has no structured exception handling, so a vectored exception handler, armed for the calling
// thread only, sends the faulting thread to a stub that jumps back to the guarded call
// (__builtin_setjmp/__builtin_longjmp). No unwinding runs through the module's frames: whatever the
// module held stays as it was, so a module that faulted must not be called again in that operation.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace plugins {

// Calls fn(context); false when it faulted, with the exception code in `faultCode` (may be null).
// Nothing between the guard and the module may need destruction: the jump back skips it.
bool RunGuarded(void (*fn)(void*), void* context, uint32_t* faultCode);

template <typename F>
bool Guarded(F&& call, uint32_t* faultCode = nullptr) {
    using Call = std::remove_reference_t<F>;
    return RunGuarded([](void* c) { (*static_cast<Call*>(c))(); }, const_cast<void*>(static_cast<const void*>(&call)),
                      faultCode);
}

} // namespace plugins
