// Owners of Windows handles and objects, one small class each. Copies are deleted; moves exist where a
// handle has to leave the scope that made it. Windows-only.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace win {

// Kernel handles closed with CloseHandle (threads, events, files, mappings).
class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Reset();
            h_ = std::exchange(other.h_, nullptr);
        }
        return *this;
    }
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(HANDLE h = nullptr) {
        if (h_)
            CloseHandle(h_);
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }
    HANDLE Release() { return std::exchange(h_, nullptr); }

  private:
    HANDLE h_ = nullptr;
};

// A GDI object (pen, brush, font, bitmap, region) deleted with DeleteObject.
template <typename T>
class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(T obj) : obj_(obj) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            Reset();
            obj_ = std::exchange(other.obj_, nullptr);
        }
        return *this;
    }
    T Get() const { return obj_; }
    explicit operator bool() const { return obj_ != nullptr; }
    void Reset(T obj = nullptr) {
        if (obj_)
            DeleteObject(obj_);
        obj_ = obj;
    }
    T Release() { return std::exchange(obj_, nullptr); }

  private:
    T obj_ = nullptr;
};

using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;
using Pen = GdiObject<HPEN>;
using Bitmap = GdiObject<HBITMAP>;

// A device context of a window, released with ReleaseDC.
class WindowDC {
  public:
    explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    ~WindowDC() {
        if (dc_)
            ReleaseDC(hwnd_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

// A memory device context, deleted with DeleteDC.
class MemoryDC {
  public:
    explicit MemoryDC(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
    ~MemoryDC() {
        if (dc_)
            DeleteDC(dc_);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return dc_; }

  private:
    HDC dc_;
};

// Selects an object into a DC for the scope and restores the previous one.
class SelectObjectScope {
  public:
    SelectObjectScope(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~SelectObjectScope() {
        if (old_ && old_ != HGDI_ERROR)
            SelectObject(dc_, old_);
    }
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// A critical section for the life of the object.
class CriticalSection {
  public:
    CriticalSection() { InitializeCriticalSection(&cs_); }
    ~CriticalSection() { DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&cs_); }
    // Takes the section only if nobody holds it.
    bool TryEnter() { return TryEnterCriticalSection(&cs_) != 0; }
    void Leave() { LeaveCriticalSection(&cs_); }

  private:
    CRITICAL_SECTION cs_;
};

// Holds a critical section for the life of the object; a null section holds nothing.
class CriticalSectionScope {
  public:
    explicit CriticalSectionScope(CriticalSection* cs) : cs_(cs) {
        if (cs_)
            cs_->Enter();
    }
    ~CriticalSectionScope() {
        if (cs_)
            cs_->Leave();
    }
    CriticalSectionScope(const CriticalSectionScope&) = delete;
    CriticalSectionScope& operator=(const CriticalSectionScope&) = delete;

  private:
    CriticalSection* cs_;
};

// A window class registered for the life of the object.
class WindowClass {
  public:
    WindowClass() = default;
    explicit WindowClass(const WNDCLASSEXW& wc);
    ~WindowClass();
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;
    explicit operator bool() const { return atom_ != 0; }
    ATOM Atom() const { return atom_; }

  private:
    ATOM atom_ = 0;
    HINSTANCE instance_ = nullptr;
};

// A COM pointer that releases its interface.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters of Create/Query calls; releases what was held.
    T** Out() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }

  private:
    T* p_ = nullptr;
};

// A loaded module (program library or data file), freed with FreeLibrary.
class Module {
  public:
    Module() = default;
    explicit Module(HMODULE m) : m_(m) {}
    ~Module() { Reset(); }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    Module(Module&& other) noexcept : m_(std::exchange(other.m_, nullptr)) {}
    Module& operator=(Module&& other) noexcept {
        if (this != &other) {
            Reset();
            m_ = std::exchange(other.m_, nullptr);
        }
        return *this;
    }
    HMODULE Get() const { return m_; }
    explicit operator bool() const { return m_ != nullptr; }
    void Reset(HMODULE m = nullptr) {
        if (m_)
            FreeLibrary(m_);
        m_ = m;
    }
    HMODULE Release() { return std::exchange(m_, nullptr); }

  private:
    HMODULE m_ = nullptr;
};

// An accelerator table, destroyed with DestroyAcceleratorTable.
class AcceleratorTable {
  public:
    AcceleratorTable() = default;
    explicit AcceleratorTable(HACCEL h) : h_(h) {}
    ~AcceleratorTable() { Reset(); }
    AcceleratorTable(const AcceleratorTable&) = delete;
    AcceleratorTable& operator=(const AcceleratorTable&) = delete;
    HACCEL Get() const { return h_; }
    void Reset(HACCEL h = nullptr) {
        if (h_)
            DestroyAcceleratorTable(h_);
        h_ = h;
    }

  private:
    HACCEL h_ = nullptr;
};

// A common-controls image list, destroyed with ImageList_Destroy.
class ImageList {
  public:
    ImageList() = default;
    explicit ImageList(HIMAGELIST h) : h_(h) {}
    ~ImageList() { Reset(); }
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;
    HIMAGELIST Get() const { return h_; }
    void Reset(HIMAGELIST h = nullptr) {
        if (h_)
            ImageList_Destroy(h_);
        h_ = h;
    }

  private:
    HIMAGELIST h_ = nullptr;
};

// A private heap, destroyed with HeapDestroy (which frees every block in it).
class Heap {
  public:
    Heap() = default;
    explicit Heap(HANDLE h) : h_(h) {}
    ~Heap() { Reset(); }
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;
    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(HANDLE h = nullptr) {
        if (h_)
            HeapDestroy(h_);
        h_ = h;
    }

  private:
    HANDLE h_ = nullptr;
};

// Memory from LocalAlloc (CommandLineToArgvW's result), freed with LocalFree.
template <typename T>
class LocalMemory {
  public:
    explicit LocalMemory(T p) : p_(p) {}
    ~LocalMemory() {
        if (p_)
            LocalFree(reinterpret_cast<HLOCAL>(p_));
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    T Get() const { return p_; }

  private:
    T p_;
};

// An item-ID list owned with the shell allocator.
class IdList {
  public:
    IdList() = default;
    explicit IdList(PIDLIST_ABSOLUTE p) : p_(p) {}
    ~IdList() { CoTaskMemFree(p_); }
    IdList(const IdList&) = delete;
    IdList& operator=(const IdList&) = delete;
    IdList(IdList&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    IdList& operator=(IdList&& other) noexcept {
        if (this != &other) {
            CoTaskMemFree(p_);
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    PIDLIST_ABSOLUTE Get() const { return p_; }
    PIDLIST_ABSOLUTE* Out() {
        CoTaskMemFree(p_);
        p_ = nullptr;
        return &p_;
    }
    explicit operator bool() const { return p_ != nullptr; }
    IdList Clone() const { return IdList(p_ ? ILClone(p_) : nullptr); }

  private:
    PIDLIST_ABSOLUTE p_ = nullptr;
};

// A shell-allocated copy of a list kept as its bytes; empty when the bytes are no list (a list ends
// with a zero 16-bit size).
inline IdList IdListFromBytes(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 2 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0)
        return IdList();
    auto* p = static_cast<PIDLIST_ABSOLUTE>(CoTaskMemAlloc(bytes.size()));
    if (p)
        std::memcpy(p, bytes.data(), bytes.size());
    return IdList(p);
}

// A popup menu, destroyed with its owner.
class Menu {
  public:
    explicit Menu(HMENU m) : m_(m) {}
    ~Menu() {
        if (m_)
            DestroyMenu(m_);
    }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;
    HMENU Get() const { return m_; }

  private:
    HMENU m_;
};

} // namespace win
