// Reading and writing another process's memory for messages whose answers go through pointers:
// tree items, their rectangles, status texts.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace e2e {

// Messages whose answers go through memory: the memory is made in the program's process.
class RemoteBuffer {
  public:
    explicit RemoteBuffer(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            base_ = static_cast<uint8_t*>(VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBuffer() {
        if (base_)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    bool Ok() const { return base_ != nullptr; }

    std::wstring ItemText(HWND tree, HTREEITEM item) {
        TVITEMW tv = {};
        tv.mask = TVIF_TEXT | TVIF_HANDLE;
        tv.hItem = item;
        tv.pszText = reinterpret_cast<wchar_t*>(base_ + kTextAt);
        tv.cchTextMax = 260;
        Write(0, &tv, sizeof tv);
        Write(kTextAt, L"", sizeof(wchar_t));
        if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(base_)))
            return std::wstring();
        return ReadText();
    }
    int ChildrenCount(HWND tree, HTREEITEM item) {
        TVITEMW tv = {};
        tv.mask = TVIF_CHILDREN | TVIF_HANDLE;
        tv.hItem = item;
        Write(0, &tv, sizeof tv);
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(base_));
        Read(0, &tv, sizeof tv);
        return tv.cChildren;
    }
    RECT ItemRect(HWND tree, HTREEITEM item, bool labelOnly = false) {
        RECT r = {};
        std::memcpy(&r, &item, sizeof item);
        Write(0, &r, sizeof r);
        SendMessageW(tree, TVM_GETITEMRECT, labelOnly, reinterpret_cast<LPARAM>(base_));
        Read(0, &r, sizeof r);
        return r;
    }
    void SetStatusText(HWND status, int part, const std::wstring& text) {
        Write(kTextAt, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        SendMessageW(status, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(base_ + kTextAt));
    }
    std::wstring StatusText(HWND status, int part) {
        Write(kTextAt, L"", sizeof(wchar_t));
        SendMessageW(status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(base_ + kTextAt));
        return ReadText();
    }

    std::wstring ListText(HWND list, int row, int column) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(base_ + kTextAt);
        item.cchTextMax = 260;
        Write(0, &item, sizeof item);
        Write(kTextAt, L"", sizeof(wchar_t));
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(base_));
        return ReadText();
    }
    void SetListCheck(HWND list, int row, bool checked) {
        LVITEMW item = {};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
        Write(0, &item, sizeof item);
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(base_));
    }

  private:
    static constexpr size_t kSize = 8192;
    static constexpr size_t kTextAt = 512;
    void Write(size_t at, const void* data, size_t n) { WriteProcessMemory(process_, base_ + at, data, n, nullptr); }
    void Read(size_t at, void* data, size_t n) { ReadProcessMemory(process_, base_ + at, data, n, nullptr); }
    std::wstring ReadText() {
        wchar_t text[300] = {};
        Read(kTextAt, text, sizeof text - sizeof(wchar_t));
        return text;
    }
    HANDLE process_ = nullptr;
    uint8_t* base_ = nullptr;
};

inline HTREEITEM NextItem(HWND tree, HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

inline std::vector<std::wstring> ChildTexts(HWND tree, RemoteBuffer& remote, HTREEITEM parent) {
    std::vector<std::wstring> out;
    for (HTREEITEM c = NextItem(tree, parent, TVGN_CHILD); c; c = NextItem(tree, c, TVGN_NEXT))
        out.push_back(remote.ItemText(tree, c));
    return out;
}

inline HTREEITEM ChildNamed(HWND tree, RemoteBuffer& remote, HTREEITEM parent, const std::wstring& text) {
    for (HTREEITEM c = NextItem(tree, parent, TVGN_CHILD); c; c = NextItem(tree, c, TVGN_NEXT))
        if (remote.ItemText(tree, c) == text)
            return c;
    return nullptr;
}

} // namespace e2e
