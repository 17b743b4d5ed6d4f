// The 53 command slots that may carry a keyboard shortcut, their default keys, and the accelerator
// entries they turn into. The Windows side makes an HACCEL of the live entries; everything here is data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
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
// stored, anything else gives the defaults. `cleared`: the user removed every shortcut (the settings
// mark it), so there are none whatever the block says.
ShortcutTable LoadShortcuts(const std::vector<uint8_t>& stored, bool cleared = false);

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

// --- Editing, as the assignment dialog does it ---

// The mouse actions of settings keys 143..157, named by strings 20900..20914 in this order.
constexpr size_t kMouseActionCount = 15;
// The slot that holds no command; it has no dialog row.
constexpr int kUnusedSlot = 36;

// The dialog's working copy of everything it edits.
struct Assignments {
    SlotTable slots;
    std::array<int32_t, kMouseActionCount> mouse{}; // command of each mouse action, 0 for none
};

// Refusals carry the string id of their message (caption string 20501).
enum class EditResult {
    Done,
    NoRowSelected, // 20504
    NothingChosen, // 20503
    Conflict,      // 20502
};
// String id of the message a refusal shows; 0 for Done.
unsigned EditResultMessage(EditResult r);

// Gives `slot` the key with the modifiers. `slot` -1 means no row and `key` 0 means no key chosen;
// a key without a name counts as not chosen. CapsLock never takes Shift. A key already held by any
// slot (this one included) with the same Ctrl and Shift state is refused.
EditResult AssignKey(Assignments& a, int slot, uint16_t key, bool ctrl, bool shift);
// Gives mouse `action` (-1: none chosen) to the slot's command. An action that already holds a
// command is refused; the command leaves any other action, since it has at most one.
EditResult AssignMouse(Assignments& a, int slot, int action);
// Keyboard mode: the slot loses its key. Mouse mode: the action holding the slot's command is freed.
EditResult ClearAssignment(Assignments& a, int slot, bool mouseMode);
// Returns the current mode's assignments to their defaults; the other mode's stay.
void RestoreDefaults(Assignments& a, bool mouseMode);
// Index of the mouse action holding `command`, or -1 (always -1 for command 0).
int MouseActionOf(const std::array<int32_t, kMouseActionCount>& mouse, uint16_t command);

bool SameSlots(const SlotTable& a, const SlotTable& b);

// A language string without its menu mnemonics: a single '&' goes, "&&" becomes '&'.
std::wstring StripMnemonics(const std::wstring& s);
// Dialog row text of a slot: its menu, " - ", its command (the layout slots with the sub-menu
// between); the tool slots name the tool, or "External tools n" when `toolNames[n-1]` is empty; the
// scroll and pane slots only the command. Empty for the unused slot. `text` returns language string
// `id`. Tool names are shown as the user wrote them.
std::wstring SlotCommandName(size_t slot, const std::function<std::wstring(unsigned)>& text,
                             const std::array<std::wstring, 8>& toolNames);

} // namespace shortcuts
