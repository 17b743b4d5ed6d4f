#include "app/shortcut_table.h"

#include <map>
#include <set>

#include <gtest/gtest.h>

#include "tests/fixtures/byte_writer.h"

using namespace shortcuts;

namespace {

// One stored entry: flags, padding, key, command.
void Entry(fixtures::ByteWriter& w, uint8_t flags, uint16_t key, uint16_t command) {
    w.U8(flags).U8(0).U16LE(key).U16LE(command);
}

const Slot* SlotFor(const SlotTable& slots, uint16_t command) {
    for (const Slot& s : slots)
        if (s.command == command)
            return &s;
    return nullptr;
}

TEST(ShortcutTable, DefaultShortcutTexts) {
    SlotTable slots = DefaultSlots();
    const std::pair<uint16_t, const wchar_t*> cases[] = {
        {5011, L""},        {5020, L"Delete"},   {5030, L"N"},     {5040, L"Ctrl+A"}, {5070, L"Ctrl+P"},
        {5110, L"Tab"},     {5123, L"S"},        {5121, L"D"},     {5122, L"F"},      {5160, L"F5"},
        {5161, L"Esc"},     {5212, L"Enter"},    {5231, L"1"},     {5238, L"8"},      {5239, L""},
        {5310, L"F1"},      {5710, L"Left"},     {5711, L"Right"}, {5712, L"PageUp"}, {5713, L"PageDown"},
        {5714, L"Up"},      {5715, L"Down"},     {5720, L"A"},     {5740, L"Space"},  {5730, L"CapsLock"},
        {0, L""},           {9999, L""},
    };
    for (const auto& [command, text] : cases)
        EXPECT_EQ(ShortcutText(slots, command), text) << command;
}

TEST(ShortcutTable, DefaultLiveTableInSlotOrder) {
    std::vector<AccelEntry> live = LiveTableFromSlots(DefaultSlots());
    ASSERT_EQ(live.size(), 29u);
    EXPECT_EQ(live.front().command, 5020);
    EXPECT_EQ(live.front().key, 46);
    EXPECT_EQ(live[2].command, 5040);
    EXPECT_EQ(live[2].flags, kVirtKey | kCtrl);
    EXPECT_EQ(live.back().command, 5730);
    EXPECT_EQ(live.back().key, 240);
}

TEST(ShortcutTable, StoredBlockDrivesBothTables) {
    fixtures::ByteWriter w;
    Entry(w, kVirtKey | kCtrl, 'Q', 5030);           // first entry of 5030 wins
    Entry(w, kVirtKey, 'W', 5030);
    Entry(w, 0x11, 0x170, 5020);                     // Alt and a high key byte: dropped in the slot only
    Entry(w, kVirtKey | kShift, 'Z', 9999);          // no slot has this command
    Entry(w, kVirtKey, 'X', 0);                      // command 0 must not land in the unused slot
    ShortcutTable t = LoadShortcuts(w.Data());

    ASSERT_EQ(t.live.size(), 5u);
    EXPECT_EQ(t.live[2].flags, 0x11);
    EXPECT_EQ(t.live[2].key, 0x170);
    EXPECT_EQ(t.live[3].command, 9999);

    EXPECT_EQ(ShortcutText(t.slots, 5030), L"Ctrl+Q");
    const Slot* del = SlotFor(t.slots, 5020);
    ASSERT_NE(del, nullptr);
    EXPECT_EQ(del->flags, 0x01);
    EXPECT_EQ(del->key, 0x70);
    EXPECT_EQ(ShortcutText(t.slots, 5020), L"F1");
    // Slots the block does not mention lose their default keys.
    EXPECT_EQ(ShortcutText(t.slots, 5040), L"");
    EXPECT_EQ(SlotFor(t.slots, 5040)->flags, kVirtKey);
    EXPECT_EQ(t.slots[36].key, 0);
}

TEST(ShortcutTable, BlockSizesOutsideOneTo53EntriesGiveDefaults) {
    const std::pair<size_t, bool> cases[] = {{0, false}, {5, false}, {6, true}, {318, true}, {319, false}, {324, false}};
    for (auto [length, used] : cases) {
        SCOPED_TRACE(length);
        fixtures::ByteWriter w;
        while (w.Size() + 6 <= length)
            Entry(w, kVirtKey, 'K', 5030);
        w.Fill(length - w.Size());
        ShortcutTable t = LoadShortcuts(w.Data());
        if (used) {
            EXPECT_EQ(t.live.size(), length / 6);
            EXPECT_EQ(ShortcutText(t.slots, 5030), L"K");
            EXPECT_EQ(ShortcutText(t.slots, 5020), L"");
        } else {
            EXPECT_EQ(t.live.size(), 29u);
            EXPECT_EQ(ShortcutText(t.slots, 5030), L"N");
            EXPECT_EQ(ShortcutText(t.slots, 5020), L"Delete");
        }
    }
}

TEST(ShortcutTable, SerialiseAndParse) {
    std::vector<AccelEntry> entries = {{kVirtKey | kCtrl | kShift, 0x1234, 0xBEEF}, {kVirtKey, 'A', 5720}};
    std::vector<uint8_t> bytes = SerializeAccelerators(entries);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{13, 0, 0x34, 0x12, 0xEF, 0xBE, 1, 0, 'A', 0, 0x58, 0x16}));
    bytes.push_back(0xFF); // a partial entry is ignored
    std::vector<AccelEntry> back = ParseAccelerators(bytes.data(), bytes.size());
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].flags, 13);
    EXPECT_EQ(back[0].key, 0x1234);
    EXPECT_EQ(back[0].command, 0xBEEF);
    EXPECT_TRUE(ParseAccelerators(nullptr, 12).empty());
    EXPECT_TRUE(ParseAccelerators(bytes.data(), 5).empty());

    std::vector<AccelEntry> many(60, AccelEntry{kVirtKey, 'B', 5030});
    EXPECT_EQ(SerializeAccelerators(many).size(), 318u);
}

TEST(ShortcutTable, SlotWithKeyComparesCtrlAndShift) {
    SlotTable slots = DefaultSlots();
    EXPECT_EQ(SlotWithKey(slots, kVirtKey | kCtrl, 'A'), 3);
    EXPECT_EQ(SlotWithKey(slots, kVirtKey, 'A'), 50);
    EXPECT_EQ(SlotWithKey(slots, kVirtKey | kShift, 'A'), -1);
    EXPECT_EQ(SlotWithKey(slots, kVirtKey | kCtrl | kShift, 'A'), -1);
    EXPECT_EQ(SlotWithKey(slots, kVirtKey, 240), 52);
    EXPECT_EQ(SlotWithKey(slots, kVirtKey, 0), -1);
}

TEST(ShortcutTable, ModifierPrefixes) {
    const std::pair<uint8_t, const wchar_t*> cases[] = {
        {1, L""}, {5, L"Shift+"}, {9, L"Ctrl+"}, {13, L"Ctrl+Shift+"}, {0, L""}, {3, L""}, {4, L""}, {0x19, L""},
    };
    for (auto [flags, prefix] : cases)
        EXPECT_STREQ(ModifierPrefix(flags), prefix) << int(flags);
}

TEST(ShortcutTable, KeyNames) {
    const std::pair<uint16_t, const wchar_t*> cases[] = {
        {8, L"BackSpace"}, {32, L"Space"}, {36, L"Home"}, {46, L"Delete"}, {'0', L"0"}, {'Z', L"Z"},
        {96, L"[Num] 0 "}, {97, L"[Num] 1"}, {105, L"[Num] 9"}, {106, L"[Num] *"}, {111, L"[Num] /"},
        {112, L"F1"}, {123, L"F12"}, {186, L":"}, {192, L"@"}, {220, L"\\"}, {226, L"_"}, {240, L"CapsLock"},
    };
    for (auto [key, name] : cases) {
        ASSERT_NE(KeyName(key), nullptr) << key;
        EXPECT_STREQ(KeyName(key), name) << key;
    }
    for (uint16_t key : {0, 1, 20, 44, 47, 58, 64, 91, 108, 124, 193, 218, 227, 241, 0x141})
        EXPECT_EQ(KeyName(key), nullptr) << key;

    int named = 0;
    for (unsigned key = 0; key < 0x10000; ++key)
        named += KeyName(static_cast<uint16_t>(key)) != nullptr;
    EXPECT_EQ(named, 91);
}

TEST(ShortcutTable, KeyListOrder) {
    const auto& order = KeyListOrder();
    std::set<uint8_t> unique(order.begin(), order.end());
    EXPECT_EQ(unique.size(), order.size());
    for (uint8_t key : order)
        EXPECT_NE(KeyName(key), nullptr) << int(key);
    const uint8_t head[] = {8, 9, 13, 27, 32, 33, 34, 35, 36, 37, 38, 39, 40, 45, 46, 240,
                            186, 187, 188, 189, 190, 191, 192, 219, 220, 221, 222, 226, '0'};
    for (size_t i = 0; i < sizeof head; ++i)
        EXPECT_EQ(order[i], head[i]) << i;
    EXPECT_EQ(order[38], 'A');
    EXPECT_EQ(order[64], 112); // F1 after Z
    EXPECT_EQ(order[76], 96);  // [Num] 0 after F12
    EXPECT_EQ(order[90], 111);
}

// --- Editing ---

Assignments DefaultAssignments() {
    Assignments a;
    a.slots = DefaultSlots();
    a.mouse = {5212, 5211, 5740, 0, 0, 5714, 5715};
    return a;
}

TEST(ShortcutEditing, AssignKeyRefusalsAndResults) {
    struct Case {
        int slot;
        uint16_t key;
        bool ctrl, shift;
        EditResult result;
        const wchar_t* text; // the slot's shortcut afterwards
    };
    const Case cases[] = {
        {0, 'A', true, false, EditResult::Conflict, L""},        // slot 3 holds Ctrl+A
        {3, 'A', false, false, EditResult::Conflict, L"Ctrl+A"}, // slot 50 holds plain A
        {3, 'A', true, false, EditResult::Conflict, L"Ctrl+A"},  // its own key counts too
        {3, 'A', false, true, EditResult::Done, L"Shift+A"},
        {3, 'A', true, true, EditResult::Done, L"Ctrl+Shift+A"},
        {0, 'N', true, false, EditResult::Done, L"Ctrl+N"},      // plain N is slot 2's, Ctrl+N is free
        {0, 240, false, true, EditResult::Conflict, L""},        // Shift dropped: slot 52's CapsLock
        {0, 240, true, true, EditResult::Done, L"Ctrl+CapsLock"},
        {0, 96, false, false, EditResult::Done, L"[Num] 0 "},
        {0, 0, false, false, EditResult::NothingChosen, L""},
        {0, 7, false, false, EditResult::NothingChosen, L""},    // no name: not in the list
        {-1, 'Q', false, false, EditResult::NoRowSelected, L""},
        {36, 'Q', false, false, EditResult::NoRowSelected, L""},
        {53, 'Q', false, false, EditResult::NoRowSelected, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "slot " << c.slot << " key " << c.key << " ctrl " << c.ctrl
                                        << " shift " << c.shift);
        Assignments a = DefaultAssignments();
        EXPECT_EQ(AssignKey(a, c.slot, c.key, c.ctrl, c.shift), c.result);
        if (c.slot >= 0 && c.slot < 53 && c.slot != 36) {
            EXPECT_EQ(ShortcutText(a.slots, a.slots[c.slot].command), c.text);
        }
        if (c.result != EditResult::Done) {
            EXPECT_TRUE(SameSlots(a.slots, DefaultSlots()));
        }
        EXPECT_EQ(a.slots[36].key, 0);
    }
    EXPECT_EQ(EditResultMessage(EditResult::Done), 0u);
    EXPECT_EQ(EditResultMessage(EditResult::Conflict), 20502u);
    EXPECT_EQ(EditResultMessage(EditResult::NothingChosen), 20503u);
    EXPECT_EQ(EditResultMessage(EditResult::NoRowSelected), 20504u);
}

TEST(ShortcutEditing, ClearedKeyCanBeReassignedAndFeedsTheLiveTable) {
    Assignments a = DefaultAssignments();
    EXPECT_EQ(ClearAssignment(a, 52, false), EditResult::Done);
    EXPECT_EQ(a.slots[52].key, 0);
    EXPECT_EQ(a.slots[52].flags, kVirtKey);
    // With slot 52 free, Shift+CapsLock still cannot be formed: it lands as plain CapsLock.
    EXPECT_EQ(AssignKey(a, 0, 240, false, true), EditResult::Done);
    EXPECT_EQ(a.slots[0].flags, kVirtKey);
    std::vector<AccelEntry> live = LiveTableFromSlots(a.slots);
    ASSERT_EQ(live.size(), 29u);
    EXPECT_EQ(live.front().command, 5011);
    EXPECT_EQ(live.front().key, 240);
    EXPECT_EQ(ClearAssignment(a, -1, false), EditResult::NoRowSelected);
    EXPECT_EQ(ClearAssignment(a, 36, true), EditResult::NoRowSelected);
}

TEST(ShortcutEditing, MouseActions) {
    Assignments a = DefaultAssignments();
    // Action 0 (double-click) holds 5212 already.
    EXPECT_EQ(AssignMouse(a, 4, 0), EditResult::Conflict);
    EXPECT_EQ(a.mouse[0], 5212);
    EXPECT_EQ(AssignMouse(a, 4, -1), EditResult::NothingChosen);
    EXPECT_EQ(AssignMouse(a, 4, 15), EditResult::NothingChosen);
    EXPECT_EQ(AssignMouse(a, -1, 3), EditResult::NoRowSelected);
    EXPECT_EQ(AssignMouse(a, 36, 3), EditResult::NoRowSelected);

    EXPECT_EQ(AssignMouse(a, 4, 3), EditResult::Done);
    EXPECT_EQ(MouseActionOf(a.mouse, 5050), 3);
    // A command moves: it never holds two actions.
    EXPECT_EQ(AssignMouse(a, 4, 14), EditResult::Done);
    EXPECT_EQ(a.mouse[3], 0);
    EXPECT_EQ(MouseActionOf(a.mouse, 5050), 14);
    EXPECT_EQ(AssignMouse(a, 20, 3), EditResult::Done); // 5212 leaves the double-click
    EXPECT_EQ(a.mouse[0], 0);
    EXPECT_EQ(a.mouse[3], 5212);

    EXPECT_EQ(ClearAssignment(a, 4, true), EditResult::Done);
    EXPECT_EQ(MouseActionOf(a.mouse, 5050), -1);
    EXPECT_EQ(ClearAssignment(a, 4, true), EditResult::Done); // nothing left to clear
    EXPECT_EQ(ClearAssignment(a, 4, false), EditResult::Done);
    EXPECT_TRUE(SameSlots(a.slots, DefaultSlots())); // slot 4 had no key; mouse edits left the keys alone

    // Hand-written settings may repeat a command; clearing frees every copy.
    a.mouse[5] = a.mouse[6] = 5020;
    EXPECT_EQ(ClearAssignment(a, 1, true), EditResult::Done);
    EXPECT_EQ(a.mouse[5], 0);
    EXPECT_EQ(a.mouse[6], 0);
    EXPECT_EQ(MouseActionOf(a.mouse, 0), -1);
}

TEST(ShortcutEditing, DefaultsRestoreOnlyTheCurrentMode) {
    Assignments a = DefaultAssignments();
    ASSERT_EQ(AssignKey(a, 0, 'Q', false, false), EditResult::Done);
    ASSERT_EQ(ClearAssignment(a, 20, true), EditResult::Done);
    ASSERT_EQ(AssignMouse(a, 0, 9), EditResult::Done);

    Assignments keys = a;
    RestoreDefaults(keys, false);
    EXPECT_TRUE(SameSlots(keys.slots, DefaultSlots()));
    EXPECT_EQ(keys.mouse, a.mouse);

    Assignments mouse = a;
    RestoreDefaults(mouse, true);
    EXPECT_EQ(mouse.mouse, DefaultAssignments().mouse);
    EXPECT_TRUE(SameSlots(mouse.slots, a.slots));
}

TEST(ShortcutEditing, RowNames) {
    // Mnemonics go: a single '&' is dropped and "&&" is a literal '&'.
    const std::map<unsigned, std::wstring> strings = {
        {5000, L"&File"},       {5001, L"&View"},      {5002, L"&Tools"},         {5003, L"&Help"},
        {5040, L"Select &all"}, {5120, L"&Panes"},     {5123, L"&Both panes"},    {5229, L"External &tools"},
        {5320, L"Drova h&elp"}, {5400, L"Fit across"}, {5420, L"Black && &white"}, {5710, L"Scroll &&&top&"},
    };
    auto text = [&](unsigned id) {
        auto it = strings.find(id);
        return it == strings.end() ? std::wstring() : it->second;
    };
    std::array<std::wstring, 8> tools;
    tools[0] = L"Paint & Co"; // the user's own name, shown as written
    tools[7] = L"Last";
    const std::pair<size_t, const wchar_t*> cases[] = {
        {3, L"File - Select all"},       {9, L"View - Panes - Both panes"},   {23, L"Tools - Paint & Co"},
        {24, L"Tools - External tools 2"}, {30, L"Tools - Last"},             {35, L"Help - Drova help"},
        {36, L""},                       {43, L"Fit across - Black & white"}, {44, L"Scroll &top"},
        {53, L""},
    };
    for (auto [slot, name] : cases)
        EXPECT_EQ(SlotCommandName(slot, text, tools), name) << slot;
}

} // namespace
