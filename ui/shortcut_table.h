// The 53 command slots that may carry a keyboard shortcut, their default keys, and the accelerator
// entries they turn into. The Windows side makes an HACCEL of the live entries; everything here is data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace shortcuts {

constexpr size_t kSlotCount = 53;
constexpr size_t kAccelEntrySize = 6; // the system's ACCEL: flags u8, pad u8, key u16, command u16
constexpr size_t kMaxStoredEntries = kSlotCount;
constexpr size_t kKeyNameCount = 91;

// Modifier flags of an entry. kVirtKey is always set; Alt is not supported.
constexpr uint8_t kVirtKey = 1;
constexpr uint8_t kShift = 4;
constexpr uint8_t kCtrl = 8;

struct AccelEntry {
    uint8_t flags = kVirtKey;
    uint16_t key = 0; // virtual-key code
    uint16_t command = 0;
};

struct Slot {
    uint16_t command = 0; // 0 only for the one unused slot
    uint8_t flags = kVirtKey;
    uint16_t key = 0; // 0: no shortcut
};

using SlotTable = std::array<Slot, kSlotCount>;

struct ShortcutTable {
    SlotTable slots;
    // What the message loop translates; may hold entries for commands no slot names.
    std::vector<AccelEntry> live;
};

// The stored form: kAccelEntrySize bytes per entry, at most kMaxStoredEntries entries.
std::vector<uint8_t> SerializeAccelerators(const std::vector<AccelEntry>& entries);
// Whole entries only; a trailing partial entry is ignored.
std::vector<AccelEntry> ParseAccelerators(const uint8_t* bytes, size_t length);

// Slots with their default keys.
SlotTable DefaultSlots();
// The live table the slots make: every slot with a key, in slot order.
std::vector<AccelEntry> LiveTableFromSlots(const SlotTable& slots);
// Builds both tables from the stored block: a block of one to kMaxStoredEntries entries is used as
// stored, anything else gives the defaults.
ShortcutTable LoadShortcuts(const std::vector<uint8_t>& stored);

// Index of the slot holding `key` with the same Ctrl and Shift state, or -1.
int SlotWithKey(const SlotTable& slots, uint8_t flags, uint16_t key);

// "Shift+", "Ctrl+", "Ctrl+Shift+" or empty.
const wchar_t* ModifierPrefix(uint8_t flags);
// Display name of a virtual-key code, or null for a key that cannot be assigned.
const wchar_t* KeyName(uint16_t key);
// The assignable keys in the order the key list shows them.
const std::array<uint8_t, kKeyNameCount>& KeyListOrder();
// Prefix and key name of the first slot with `command`; empty when it has no shortcut.
std::wstring ShortcutText(const SlotTable& slots, uint16_t command);

} // namespace shortcuts
