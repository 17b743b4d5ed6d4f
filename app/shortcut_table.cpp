#include "app/shortcut_table.h"

#include "app/settings.h"

namespace shortcuts {

namespace {

constexpr uint8_t kCtrlShift = kCtrl | kShift;
// On the Japanese layout this code is the CapsLock key; it takes no Shift.
constexpr uint16_t kCapsLock = 240;

constexpr Slot kDefaultSlots[kSlotCount] = {
    {5011, kVirtKey, 0},
    {5020, kVirtKey, 46}, // Delete
    {5030, kVirtKey, 'N'},
    {5040, kVirtKey | kCtrl, 'A'},
    {5050, kVirtKey, 0},
    {5070, kVirtKey | kCtrl, 'P'},
    {5055, kVirtKey, 0},
    {5060, kVirtKey, 0},
    {5110, kVirtKey, 9}, // Tab
    {5123, kVirtKey, 'S'},
    {5121, kVirtKey, 'D'},
    {5122, kVirtKey, 'F'},
    {5180, kVirtKey, 0},
    {5130, kVirtKey, 0},
    {5140, kVirtKey, 0},
    {5160, kVirtKey, 116}, // F5
    {5161, kVirtKey, 27},  // Esc
    {5162, kVirtKey, 0},
    {5170, kVirtKey, 0},
    {5210, kVirtKey, 0},
    {5212, kVirtKey, 13}, // Enter
    {5211, kVirtKey, 0},
    {5213, kVirtKey, 0},
    {5231, kVirtKey, '1'},
    {5232, kVirtKey, '2'},
    {5233, kVirtKey, '3'},
    {5234, kVirtKey, '4'},
    {5235, kVirtKey, '5'},
    {5236, kVirtKey, '6'},
    {5237, kVirtKey, '7'},
    {5238, kVirtKey, '8'},
    {5239, kVirtKey, 0},
    {5240, kVirtKey, 0},
    {5250, kVirtKey, 0},
    {5310, kVirtKey, 112}, // F1
    {5320, kVirtKey, 0},
    {0, kVirtKey, 0}, // unused
    {5402, kVirtKey, 0},
    {5403, kVirtKey, 0},
    {5404, kVirtKey, 0},
    {5406, kVirtKey, 0},
    {5408, kVirtKey, 0},
    {5412, kVirtKey, 0},
    {5420, kVirtKey, 0},
    {5710, kVirtKey, 37}, // Left
    {5711, kVirtKey, 39}, // Right
    {5712, kVirtKey, 33}, // PageUp
    {5713, kVirtKey, 34}, // PageDown
    {5714, kVirtKey, 38}, // Up
    {5715, kVirtKey, 40}, // Down
    {5720, kVirtKey, 'A'},
    {5740, kVirtKey, 32}, // Space
    {5730, kVirtKey, kCapsLock},
};

struct KeyNameEntry {
    uint8_t key;
    const wchar_t* name;
};

// In key-list order. The punctuation names follow the Japanese layout of the OEM codes; the blank
// after "[Num] 0" is part of the name as users have always seen it.
constexpr KeyNameEntry kKeyNames[kKeyNameCount] = {
    {8, L"BackSpace"}, {9, L"Tab"}, {13, L"Enter"}, {27, L"Esc"}, {32, L"Space"},
    {33, L"PageUp"}, {34, L"PageDown"}, {35, L"End"}, {36, L"Home"},
    {37, L"Left"}, {38, L"Up"}, {39, L"Right"}, {40, L"Down"},
    {45, L"Insert"}, {46, L"Delete"}, {240, L"CapsLock"},
    {186, L":"}, {187, L";"}, {188, L","}, {189, L"-"}, {190, L"."}, {191, L"/"}, {192, L"@"},
    {219, L"["}, {220, L"\\"}, {221, L"]"}, {222, L"^"}, {226, L"_"},
    {'0', L"0"}, {'1', L"1"}, {'2', L"2"}, {'3', L"3"}, {'4', L"4"},
    {'5', L"5"}, {'6', L"6"}, {'7', L"7"}, {'8', L"8"}, {'9', L"9"},
    {'A', L"A"}, {'B', L"B"}, {'C', L"C"}, {'D', L"D"}, {'E', L"E"}, {'F', L"F"}, {'G', L"G"},
    {'H', L"H"}, {'I', L"I"}, {'J', L"J"}, {'K', L"K"}, {'L', L"L"}, {'M', L"M"}, {'N', L"N"},
    {'O', L"O"}, {'P', L"P"}, {'Q', L"Q"}, {'R', L"R"}, {'S', L"S"}, {'T', L"T"}, {'U', L"U"},
    {'V', L"V"}, {'W', L"W"}, {'X', L"X"}, {'Y', L"Y"}, {'Z', L"Z"},
    {112, L"F1"}, {113, L"F2"}, {114, L"F3"}, {115, L"F4"}, {116, L"F5"}, {117, L"F6"},
    {118, L"F7"}, {119, L"F8"}, {120, L"F9"}, {121, L"F10"}, {122, L"F11"}, {123, L"F12"},
    {96, L"[Num] 0 "}, {97, L"[Num] 1"}, {98, L"[Num] 2"}, {99, L"[Num] 3"}, {100, L"[Num] 4"},
    {101, L"[Num] 5"}, {102, L"[Num] 6"}, {103, L"[Num] 7"}, {104, L"[Num] 8"}, {105, L"[Num] 9"},
    {106, L"[Num] *"}, {107, L"[Num] +"}, {109, L"[Num] -"}, {110, L"[Num] ."}, {111, L"[Num] /"},
};

std::array<uint8_t, kKeyNameCount> BuildKeyListOrder() {
    std::array<uint8_t, kKeyNameCount> order{};
    for (size_t i = 0; i < kKeyNameCount; ++i)
        order[i] = kKeyNames[i].key;
    return order;
}

static_assert(kMouseActionCount == settings::kMouseCommandCount, "one mouse action per settings key");

// Language string ids the row names are made of.
constexpr unsigned kPanesMenuText = 5120;
constexpr unsigned kToolsMenuText = 5229;
constexpr size_t kFirstToolSlot = 23;
constexpr size_t kToolSlotCount = 8;

// The menu a slot's command lives in, or 0 for slots shown by their command alone.
unsigned MenuTextOf(size_t slot) {
    if (slot <= 7)
        return 5000;
    if (slot <= 18)
        return 5001;
    if (slot <= 33)
        return 5002;
    if (slot <= 35)
        return 5003;
    if (slot >= 37 && slot <= 43)
        return 5400;
    return 0;
}

bool IsEditableSlot(int slot) {
    return slot >= 0 && static_cast<size_t>(slot) < kSlotCount && kDefaultSlots[slot].command != 0;
}

SlotTable EmptySlots() {
    SlotTable slots;
    for (size_t i = 0; i < kSlotCount; ++i)
        slots[i] = {kDefaultSlots[i].command, kVirtKey, 0};
    return slots;
}

} // namespace

std::vector<uint8_t> SerializeAccelerators(const std::vector<AccelEntry>& entries) {
    std::vector<uint8_t> bytes;
    size_t count = entries.size() < kMaxStoredEntries ? entries.size() : kMaxStoredEntries;
    bytes.reserve(count * kAccelEntrySize);
    for (size_t i = 0; i < count; ++i) {
        const AccelEntry& e = entries[i];
        bytes.push_back(e.flags);
        bytes.push_back(0);
        bytes.push_back(static_cast<uint8_t>(e.key));
        bytes.push_back(static_cast<uint8_t>(e.key >> 8));
        bytes.push_back(static_cast<uint8_t>(e.command));
        bytes.push_back(static_cast<uint8_t>(e.command >> 8));
    }
    return bytes;
}

std::vector<AccelEntry> ParseAccelerators(const uint8_t* bytes, size_t length) {
    std::vector<AccelEntry> entries;
    if (!bytes)
        return entries;
    for (size_t off = 0; kAccelEntrySize <= length - off; off += kAccelEntrySize) {
        const uint8_t* p = bytes + off;
        AccelEntry e;
        e.flags = p[0];
        e.key = static_cast<uint16_t>(p[2] | (p[3] << 8));
        e.command = static_cast<uint16_t>(p[4] | (p[5] << 8));
        entries.push_back(e);
    }
    return entries;
}

SlotTable DefaultSlots() {
    SlotTable slots;
    for (size_t i = 0; i < kSlotCount; ++i)
        slots[i] = kDefaultSlots[i];
    return slots;
}

std::vector<AccelEntry> LiveTableFromSlots(const SlotTable& slots) {
    std::vector<AccelEntry> live;
    for (const Slot& s : slots)
        if (s.key != 0 && s.command != 0)
            live.push_back({s.flags, s.key, s.command});
    return live;
}

ShortcutTable LoadShortcuts(const std::vector<uint8_t>& stored, bool cleared) {
    ShortcutTable table;
    if (cleared) {
        table.slots = EmptySlots();
        return table;
    }
    if (stored.size() < kAccelEntrySize || stored.size() > kMaxStoredEntries * kAccelEntrySize) {
        table.slots = DefaultSlots();
        table.live = LiveTableFromSlots(table.slots);
        return table;
    }
    table.live = ParseAccelerators(stored.data(), stored.size());
    table.slots = EmptySlots();
    for (Slot& slot : table.slots) {
        if (slot.command == 0)
            continue;
        for (const AccelEntry& e : table.live) {
            if (e.command == slot.command) {
                // Alt and any other higher bit cannot be shown or edited, so the slot drops them.
                slot.flags = static_cast<uint8_t>(e.flags & 0x0F);
                slot.key = static_cast<uint16_t>(e.key & 0xFF);
                break;
            }
        }
    }
    return table;
}

int SlotWithKey(const SlotTable& slots, uint8_t flags, uint16_t key) {
    if (key == 0)
        return -1;
    for (size_t i = 0; i < slots.size(); ++i)
        if (slots[i].key == key && (slots[i].flags & kCtrlShift) == (flags & kCtrlShift))
            return static_cast<int>(i);
    return -1;
}

const wchar_t* ModifierPrefix(uint8_t flags) {
    switch (flags) {
    case kVirtKey | kShift:
        return L"Shift+";
    case kVirtKey | kCtrl:
        return L"Ctrl+";
    case kVirtKey | kCtrlShift:
        return L"Ctrl+Shift+";
    default:
        return L"";
    }
}

const wchar_t* KeyName(uint16_t key) {
    for (const KeyNameEntry& k : kKeyNames)
        if (k.key == key)
            return k.name;
    return nullptr;
}

const std::array<uint8_t, kKeyNameCount>& KeyListOrder() {
    static const std::array<uint8_t, kKeyNameCount> order = BuildKeyListOrder();
    return order;
}

std::wstring ShortcutText(const SlotTable& slots, uint16_t command) {
    if (command == 0)
        return {};
    for (const Slot& s : slots) {
        if (s.command != command)
            continue;
        // A stored key without a name cannot be shown, so it is shown as no shortcut at all.
        const wchar_t* name = s.key != 0 ? KeyName(s.key) : nullptr;
        return name ? std::wstring(ModifierPrefix(s.flags)) + name : std::wstring();
    }
    return {};
}

unsigned EditResultMessage(EditResult r) {
    switch (r) {
    case EditResult::NoRowSelected:
        return 20504;
    case EditResult::NothingChosen:
        return 20503;
    case EditResult::Conflict:
        return 20502;
    case EditResult::Done:
        break;
    }
    return 0;
}

EditResult AssignKey(Assignments& a, int slot, uint16_t key, bool ctrl, bool shift) {
    if (!IsEditableSlot(slot))
        return EditResult::NoRowSelected;
    if (key == 0 || !KeyName(key))
        return EditResult::NothingChosen;
    if (key == kCapsLock)
        shift = false;
    const uint8_t flags = static_cast<uint8_t>(kVirtKey | (ctrl ? kCtrl : 0) | (shift ? kShift : 0));
    if (SlotWithKey(a.slots, flags, key) >= 0)
        return EditResult::Conflict;
    a.slots[slot].flags = flags;
    a.slots[slot].key = key;
    return EditResult::Done;
}

EditResult AssignMouse(Assignments& a, int slot, int action) {
    if (!IsEditableSlot(slot))
        return EditResult::NoRowSelected;
    if (action < 0 || static_cast<size_t>(action) >= kMouseActionCount)
        return EditResult::NothingChosen;
    if (a.mouse[action] != 0)
        return EditResult::Conflict;
    const uint16_t command = a.slots[slot].command;
    for (int32_t& m : a.mouse)
        if (m == command)
            m = 0;
    a.mouse[action] = command;
    return EditResult::Done;
}

EditResult ClearAssignment(Assignments& a, int slot, bool mouseMode) {
    if (!IsEditableSlot(slot))
        return EditResult::NoRowSelected;
    if (!mouseMode) {
        a.slots[slot].flags = kVirtKey;
        a.slots[slot].key = 0;
        return EditResult::Done;
    }
    // Settings written by hand may give one command several actions; clearing frees them all.
    for (int32_t& m : a.mouse)
        if (m == a.slots[slot].command)
            m = 0;
    return EditResult::Done;
}

void RestoreDefaults(Assignments& a, bool mouseMode) {
    if (mouseMode)
        a.mouse = settings::kDefaultMouseCommands;
    else
        a.slots = DefaultSlots();
}

int MouseActionOf(const std::array<int32_t, kMouseActionCount>& mouse, uint16_t command) {
    if (command == 0)
        return -1;
    for (size_t i = 0; i < mouse.size(); ++i)
        if (mouse[i] == command)
            return static_cast<int>(i);
    return -1;
}

bool SameSlots(const SlotTable& a, const SlotTable& b) {
    for (size_t i = 0; i < kSlotCount; ++i)
        if (a[i].command != b[i].command || a[i].flags != b[i].flags || a[i].key != b[i].key)
            return false;
    return true;
}

std::wstring StripMnemonics(const std::wstring& s) {
    std::wstring out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != L'&') {
            out += s[i];
        } else if (i + 1 < s.size() && s[i + 1] == L'&') {
            out += L'&';
            ++i;
        }
    }
    return out;
}

std::wstring SlotCommandName(size_t slot, const std::function<std::wstring(unsigned)>& text,
                             const std::array<std::wstring, 8>& toolNames) {
    if (!IsEditableSlot(static_cast<int>(slot)))
        return {};
    std::wstring command;
    if (slot >= kFirstToolSlot && slot < kFirstToolSlot + kToolSlotCount) {
        const size_t tool = slot - kFirstToolSlot;
        command = !toolNames[tool].empty()
                      ? toolNames[tool]
                      : StripMnemonics(text(kToolsMenuText)) + L" " + std::to_wstring(tool + 1);
    } else {
        command = StripMnemonics(text(kDefaultSlots[slot].command));
    }
    const unsigned menu = MenuTextOf(slot);
    if (menu == 0)
        return command;
    std::wstring name = StripMnemonics(text(menu)) + L" - ";
    if (slot >= 9 && slot <= 11)
        name += StripMnemonics(text(kPanesMenuText)) + L" - ";
    return name + command;
}

} // namespace shortcuts
