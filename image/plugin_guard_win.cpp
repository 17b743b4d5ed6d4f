#include "image/plugin_guard_win.h"

#include <windows.h>

#include <malloc.h>

#include <mutex>

namespace plugins {

namespace {

struct GuardFrame {
    void* jump[5] = {};      // __builtin_setjmp's buffer
    uintptr_t stubStack = 0; // where the stub runs: below the guard's own frame, in the module's dead ones
    DWORD code = 0;
    void (*fn)(void*) = nullptr;
    void* context = nullptr;
};

DWORD g_slot = TLS_OUT_OF_INDEXES;

bool IsFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
        return true;
    default:
        return false;
    }
}

GuardFrame* CurrentFrame() {
    const DWORD error = GetLastError();
    GuardFrame* frame = static_cast<GuardFrame*>(TlsGetValue(g_slot));
    SetLastError(error);
    return frame;
}

__attribute__((noinline, noreturn)) void JumpBack() {
    GuardFrame* frame = CurrentFrame();
    __builtin_longjmp(frame->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* ep) {
    GuardFrame* frame = CurrentFrame();
    const DWORD code = ep->ExceptionRecord->ExceptionCode;
    if (!frame || !IsFault(code))
        return EXCEPTION_CONTINUE_SEARCH;
    frame->code = code;
    // After a stack overflow the faulting stack pointer sits at the end of the stack, so the stub is
    // given a place of its own, inside the frames the module was using.
    ep->ContextRecord->Rsp = frame->stubStack;
    ep->ContextRecord->Rip = reinterpret_cast<DWORD64>(&JumpBack);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void Install() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_slot = TlsAlloc();
        if (g_slot != TLS_OUT_OF_INDEXES)
            AddVectoredExceptionHandler(1, OnException);
    });
}

// Commits the stack below the caller, so the stub's place is usable even when the module faulted at
// once, and returns an address inside that stretch.
__attribute__((noinline)) uintptr_t PrepareStubStack() {
    constexpr size_t kReserve = 16 * 1024;
    volatile char* area = static_cast<volatile char*>(alloca(kReserve));
    for (size_t i = 0; i < kReserve; i += 4096)
        area[i] = 0;
    area[kReserve - 1] = 0;
    // The middle of the committed stretch, aligned as at a function's entry (16n + 8).
    return ((reinterpret_cast<uintptr_t>(area) + kReserve / 2) & ~uintptr_t(15)) - 8;
}

// The jump lands here, so nothing of the caller's is live across it: every value is read from the
// frame in memory.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wclobbered"
__attribute__((noinline)) bool CallArmed(GuardFrame* frame) {
    if (__builtin_setjmp(frame->jump) != 0)
        return false;
    frame->fn(frame->context);
    return true;
}
#pragma GCC diagnostic pop

} // namespace

bool RunGuarded(void (*fn)(void*), void* context, uint32_t* faultCode) {
    Install();
    if (g_slot == TLS_OUT_OF_INDEXES) {
        fn(context);
        return true;
    }
    GuardFrame frame;
    frame.fn = fn;
    frame.context = context;
    GuardFrame* outer = CurrentFrame();
    frame.stubStack = PrepareStubStack();
    TlsSetValue(g_slot, &frame);
    const bool returned = CallArmed(&frame);
    TlsSetValue(g_slot, outer);
    if (returned)
        return true;
    if (frame.code == EXCEPTION_STACK_OVERFLOW)
        _resetstkoflw();
    if (faultCode)
        *faultCode = frame.code;
    return false;
}

} // namespace plugins
