#include "app/program_state_win.h"

#include <vector>

namespace app {

namespace {

Program* g_program = nullptr;

} // namespace

std::wstring ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

Program& TheProgram() { return *g_program; }

void SetTheProgram(Program* program) { g_program = program; }

HANDLE PrivateHeap() { return g_program ? g_program->heap : nullptr; }

void MeasureFrame(Program& p) {
    RECT r = {0, 0, 0, 0};
    AdjustWindowRectEx(&r, WS_POPUP | WS_THICKFRAME, FALSE, WS_EX_CLIENTEDGE);
    p.frameWidth = r.right - r.left;
    p.frameHeight = r.bottom - r.top;
}

void BuildAccelerators(Program& p) {
    std::vector<ACCEL> table;
    for (const shortcuts::AccelEntry& e : p.shortcuts.live)
        table.push_back({e.flags, e.key, e.command});
    p.accelerators.Reset(table.empty() ? nullptr : CreateAcceleratorTableW(table.data(), static_cast<int>(table.size())));
}

void StoreAccelerators(Program& p) {
    // No table at all is what removing every shortcut leaves; it is stored as such, or the next start
    // would bring the defaults back.
    if (!p.accelerators.Get()) {
        if (p.shortcuts.live.empty()) {
            p.settings.accelerators.clear();
            p.settings.noShortcuts = true;
        }
        return;
    }
    int count = CopyAcceleratorTableW(p.accelerators.Get(), nullptr, 0);
    if (count <= 0)
        return;
    std::vector<ACCEL> table(static_cast<size_t>(count));
    count = CopyAcceleratorTableW(p.accelerators.Get(), table.data(), count);
    std::vector<shortcuts::AccelEntry> entries;
    for (int i = 0; i < count && entries.size() < shortcuts::kMaxStoredEntries; ++i)
        entries.push_back({table[static_cast<size_t>(i)].fVirt, table[static_cast<size_t>(i)].key,
                           table[static_cast<size_t>(i)].cmd});
    p.settings.accelerators = shortcuts::SerializeAccelerators(entries);
    p.settings.noShortcuts = false;
}

} // namespace app
