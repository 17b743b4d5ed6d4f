// The process-wide menu set. Every item carries a MenuItemData as its item data; records live in the
// set (or, for menus made elsewhere, in a list keyed by the menu) and are looked up in one registry
// before use, so item data that is not ours, or that outlived its record, is never dereferenced.
#include "ui/menus_win.h"

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_set>

#include "app/language_win.h"
#include "common/path.h"
#include "common/scoped_win.h"
#include "folder/shell_tree_win.h"
#include "ui/commands.h"

namespace menus {

namespace {

struct Metrics {
    HFONT font = nullptr; // borrowed from the main window
    int checkWidth = 0;
    int itemHeight = 0;
};

// Records a menu owns; each is known to the registry for exactly its lifetime.
class Records {
  public:
    Records() = default;
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    MenuItemData* Add(MenuItemData record);

  private:
    std::vector<std::unique_ptr<MenuItemData>> items_;
};

struct MenuSet {
    Records records; // declared first: freed after the menus that point at them
    std::array<HMENU, kPopupCount> popups = {};
    HMENU container = nullptr;
    MenuSet() = default;
    ~MenuSet();
    MenuSet(const MenuSet&) = delete;
    MenuSet& operator=(const MenuSet&) = delete;
};

// A menu made elsewhere that OwnerDraw turned owner-drawn.
struct ForeignMenu {
    HMENU menu = nullptr;
    Records records;
};

struct State {
    std::unordered_set<const MenuItemData*> known; // declared first: outlives every Records
    Metrics metrics;
    std::unique_ptr<MenuSet> set;
    std::vector<std::unique_ptr<ForeignMenu>> foreign;
};

State g_state;

Records::~Records() {
    for (const std::unique_ptr<MenuItemData>& r : items_)
        g_state.known.erase(r.get());
}

MenuItemData* Records::Add(MenuItemData record) {
    items_.push_back(std::make_unique<MenuItemData>(std::move(record)));
    MenuItemData* r = items_.back().get();
    g_state.known.insert(r);
    return r;
}

// Sub-menus are linked from several menus (popup 5 from popups 2 and 7), and DestroyMenu destroys
// linked sub-menus too; unlinking first lets each menu be destroyed exactly once.
void UnlinkSubMenus(HMENU menu) {
    if (!menu)
        return;
    for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i)
        if (GetSubMenu(menu, i))
            RemoveMenu(menu, static_cast<UINT>(i), MF_BYPOSITION);
}

MenuSet::~MenuSet() {
    for (HMENU m : popups)
        UnlinkSubMenus(m);
    UnlinkSubMenus(container);
    for (HMENU& m : popups) {
        if (m)
            DestroyMenu(m);
        m = nullptr;
    }
    if (container)
        DestroyMenu(container);
}

const MenuItemData* Find(ULONG_PTR data) {
    const auto* r = reinterpret_cast<const MenuItemData*>(data);
    return r && g_state.known.count(r) ? r : nullptr;
}

std::wstring Caption(int id) {
    return lang::Text(static_cast<UINT>(id)) + lang::Text(static_cast<UINT>(id + 10000));
}

// Names the user typed are shown as typed: a single & would otherwise turn into a mnemonic.
std::wstring Literal(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        out += c;
        if (c == L'&')
            out += L'&';
    }
    return out;
}

// The last path component, trailing backslashes ignored ("C:\" shows as "C:"); the whole text when
// nothing is left.
std::wstring LastComponent(const std::wstring& path) {
    const std::wstring name = paths::LastComponent(paths::TrimTrailingSeparators(path));
    return name.empty() ? path : name;
}

std::wstring FavouriteLabel(const settings::Favourite& f) {
    return f.kind == location::kShellFolder ? f.name : LastComponent(f.name);
}

bool IsRadio(int id) {
    return (id >= cmd::kPane1Only && id <= cmd::kBothPanes) || (id >= cmd::kSortFirst && id < cmd::kSortFirst + 6) ||
           (id >= cmd::kFilterFirst && id < cmd::kFilterFirst + 6);
}

void SetShortcut(MenuItemData& r, const shortcuts::SlotTable* slots) {
    if (!slots || r.command <= 0)
        return;
    for (const shortcuts::Slot& s : *slots) {
        if (s.command != r.command)
            continue;
        const wchar_t* name = s.key ? shortcuts::KeyName(s.key) : nullptr;
        if (name) {
            r.modifier = shortcuts::ModifierPrefix(s.flags);
            r.key = name;
        }
        return;
    }
}

bool Append(HMENU menu, MenuItemData* r, HMENU subMenu) {
    MENUITEMINFOW mii = {};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_DATA;
    mii.wID = static_cast<UINT>(r->command);
    mii.dwItemData = reinterpret_cast<ULONG_PTR>(r);
    mii.fType = MFT_OWNERDRAW;
    if (r->flags & kItemSeparator) {
        mii.fType |= MFT_SEPARATOR;
    } else {
        // The string stays with the item so the menu loop finds the mnemonics.
        mii.fMask |= MIIM_STRING;
        mii.dwTypeData = const_cast<wchar_t*>(r->caption.c_str());
    }
    // Grey from the start what no facts can enable, for menus shown before any WM_INITMENUPOPUP.
    if (!(r->flags & kItemSeparator) && !subMenu &&
        (r->command == cmd::kNoToolsPlaceholder || !cmd::CarriedOut(r->command))) {
        mii.fMask |= MIIM_STATE;
        mii.fState = MFS_GRAYED;
    }
    if (subMenu) {
        mii.fMask |= MIIM_SUBMENU;
        mii.hSubMenu = subMenu;
    }
    return InsertMenuItemW(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &mii) != FALSE;
}

bool AddItem(MenuSet& set, HMENU menu, int id, std::wstring caption, const shortcuts::SlotTable* slots,
             HMENU subMenu = nullptr) {
    MenuItemData r;
    r.command = id;
    r.caption = std::move(caption);
    if (subMenu)
        r.flags |= kItemSubMenu;
    if (IsRadio(id))
        r.flags |= kItemRadio;
    SetShortcut(r, slots);
    return Append(menu, set.records.Add(std::move(r)), subMenu);
}

bool AddSeparator(MenuSet& set, HMENU menu) {
    MenuItemData r;
    r.command = cmd::kSeparator;
    r.flags = kItemSeparator;
    return Append(menu, set.records.Add(std::move(r)), nullptr);
}

// Fixed item layouts; 0 marks a separator.
struct Layout {
    Popup popup;
    std::vector<int> items;
};

const std::vector<Layout>& FixedLayouts() {
    static const std::vector<Layout> layouts = {
        {kFileMenu,
         {cmd::kEditComment, 0, cmd::kDelete, cmd::kRename, 0, cmd::kSelectAll, 0, cmd::kPrint, 0, cmd::kWallpaper,
          cmd::kProperties, 0, cmd::kExit}},
        {kViewMenu,
         {cmd::kToggleTree, 0, cmd::kPanesMenu, cmd::kPreviewOnClick, 0, cmd::kCaptions, cmd::kCaptionLines, 0,
          cmd::kReload, cmd::kStop, cmd::kForcedReload, 0, cmd::kToggleHidden}},
        {kToolsMenu,
         {cmd::kViewerView, cmd::kViewerFullScreen, cmd::kReader, cmd::kViewerSlideShow, 0, cmd::kToolsMenu, 0,
          cmd::kOptions, cmd::kStartViewer}},
        {kHelpMenu, {cmd::kHelp, cmd::kViewerHelp, 0, cmd::kAbout}},
        {kPanesMenu, {cmd::kBothPanes, 0, cmd::kPane1Only, cmd::kPane2Only}},
        {kFitAcrossMenu,
         {cmd::kFitAcrossBase + 2, cmd::kFitAcrossBase + 3, cmd::kFitAcrossBase + 4, cmd::kFitAcrossBase + 6,
          cmd::kFitAcrossBase + 8, 0, cmd::kFitAcrossBase + 12, cmd::kFitAcrossBase + 20}},
        {kPaneContextMenu,
         {cmd::kViewerView, cmd::kViewerFullScreen, cmd::kViewerSlideShow, 0, cmd::kToolsMenu, 0, cmd::kEditComment, 0,
          cmd::kDelete, cmd::kRename, 0, cmd::kSelectAll}},
        // The tree's own layouts: it builds and shows these two menus itself.
        {kTreeContextMenu, shelltree::TreeMenuLayout()},
        {kTreeTabMenu, shelltree::InfoMenuLayout()},
        {kSortMenu, {cmd::kSortFirst, cmd::kSortFirst + 1, 0, cmd::kSortFirst + 2, cmd::kSortFirst + 3, 0,
                     cmd::kSortFirst + 4, cmd::kSortFirst + 5}},
        {kFilterMenu, {cmd::kFilterFirst, 0, cmd::kFilterFirst + 1, cmd::kFilterFirst + 2, cmd::kFilterFirst + 3,
                       cmd::kFilterFirst + 4, cmd::kFilterFirst + 5}},
    };
    return layouts;
}

bool FillFixed(MenuSet& set, const Layout& layout, const shortcuts::SlotTable* slots) {
    HMENU menu = set.popups[layout.popup];
    for (int id : layout.items) {
        bool ok;
        if (id == 0)
            ok = AddSeparator(set, menu);
        else if (id == cmd::kPanesMenu)
            ok = AddItem(set, menu, id, Caption(id), slots, set.popups[kPanesMenu]);
        else if (id == cmd::kToolsMenu)
            ok = AddItem(set, menu, id, Caption(id), slots, set.popups[kExternalToolsMenu]);
        else
            ok = AddItem(set, menu, id, Caption(id), slots);
        if (!ok)
            return false;
    }
    return true;
}

bool FillTools(MenuSet& set, const MenuSources& sources) {
    HMENU menu = set.popups[kExternalToolsMenu];
    bool any = false;
    if (sources.tools) {
        for (size_t i = 0; i < sources.tools->size(); ++i) {
            const settings::ExternalTool& tool = (*sources.tools)[i];
            if (tool.path.empty())
                continue;
            // A tool without a name is shown by its program's file name rather than as a blank item.
            const std::wstring name = tool.name.empty() ? LastComponent(tool.path) : tool.name;
            if (!AddItem(set, menu, cmd::kToolFirst + static_cast<int>(i), Literal(name), sources.slots))
                return false;
            any = true;
        }
    }
    if (!any && !AddItem(set, menu, cmd::kNoToolsPlaceholder, Caption(cmd::kNoToolsPlaceholder), sources.slots))
        return false;
    if (!AddSeparator(set, menu))
        return false;
    return AddItem(set, menu, cmd::kOpenAssociated, Caption(cmd::kOpenAssociated), sources.slots);
}

bool FillFavourites(MenuSet& set, const MenuSources& sources) {
    if (!sources.favourites)
        return true;
    // Ids past the stored maximum would run into nothing we dispatch; the store never holds more.
    const size_t count = std::min(sources.favourites->size(), settings::kMaxFavourites);
    for (size_t i = 0; i < count; ++i) {
        const std::wstring label = Literal(FavouriteLabel((*sources.favourites)[i]));
        if (!AddItem(set, set.popups[kFavouritesMenu], cmd::kFavouriteFirst + static_cast<int>(i), label, nullptr))
            return false;
    }
    return true;
}

bool FillContainer(MenuSet& set) {
    struct Link {
        Popup popup;
        int caption; // 0: none
    };
    const Link links[] = {{kFileMenu, cmd::kMenuFile},   {kViewMenu, cmd::kMenuView},
                          {kToolsMenu, cmd::kMenuTools}, {kHelpMenu, cmd::kMenuHelp},
                          {kFitAcrossMenu, cmd::kFitAcrossMenu}, {kPaneContextMenu, 0},
                          {kTreeContextMenu, 0},         {kTreeTabMenu, 0},
                          {kSortMenu, cmd::kSortMenu},   {kFilterMenu, cmd::kFilterMenu},
                          {kFavouritesMenu, 0}};
    for (const Link& l : links) {
        const std::wstring text = l.caption ? lang::Text(static_cast<UINT>(l.caption)) : std::wstring();
        if (!AppendMenuW(set.container, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(set.popups[l.popup]),
                         text.c_str()))
            return false;
    }
    return true;
}

void PurgeForeign() {
    auto& list = g_state.foreign;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const std::unique_ptr<ForeignMenu>& f) { return !IsMenu(f->menu); }),
               list.end());
}

ForeignMenu& ForeignEntry(HMENU menu) {
    for (std::unique_ptr<ForeignMenu>& f : g_state.foreign)
        if (f->menu == menu)
            return *f;
    g_state.foreign.push_back(std::make_unique<ForeignMenu>());
    g_state.foreign.back()->menu = menu;
    return *g_state.foreign.back();
}

int CheckColumn() {
    const int w = g_state.metrics.checkWidth;
    return w > 0 ? w : LOWORD(GetMenuCheckMarkDimensions()) + 7;
}

HFONT MenuFont() {
    return g_state.metrics.font ? g_state.metrics.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Room between the caption and the shortcut, in text heights.
int Gap(int textHeight) { return 2 * textHeight; }

// Colours of the command toolbar's buttons: hot for the highlighted item, checked for the check box.
constexpr COLORREF kHotFill = RGB(0xE4, 0xEE, 0xFA);
constexpr COLORREF kHotFrame = RGB(0x88, 0xA8, 0xD8);
constexpr COLORREF kCheckedFill = RGB(0xD8, 0xE6, 0xF6);
constexpr COLORREF kCheckedFrame = RGB(0x50, 0x78, 0xB0);

void FillFramed(HDC dc, const RECT& r, COLORREF fill, COLORREF frame) {
    win::Brush brush(CreateSolidBrush(fill));
    FillRect(dc, &r, brush.Get());
    win::Brush edge(CreateSolidBrush(frame));
    FrameRect(dc, &r, edge.Get());
}

void DrawSeparator(HDC dc, const RECT& r) {
    const int y = (r.top + r.bottom) / 2;
    win::Pen shadow(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DSHADOW)));
    win::Pen light(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DHILIGHT)));
    {
        win::SelectObjectScope select(dc, shadow.Get());
        MoveToEx(dc, r.left + 2, y, nullptr);
        LineTo(dc, r.right - 2, y);
    }
    win::SelectObjectScope select(dc, light.Get());
    MoveToEx(dc, r.left + 2, y + 1, nullptr);
    LineTo(dc, r.right - 2, y + 1);
}

void DrawCheck(HDC dc, const RECT& column, bool radio, COLORREF colour) {
    const int size = std::min(column.right - column.left, column.bottom - column.top) - 4;
    if (size < 6)
        return;
    RECT box;
    box.left = column.left + (column.right - column.left - size) / 2;
    box.top = column.top + (column.bottom - column.top - size) / 2;
    box.right = box.left + size;
    box.bottom = box.top + size;
    FillFramed(dc, box, kCheckedFill, kCheckedFrame);
    const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    if (radio) {
        const int d = std::max(2, size / 5);
        win::Brush brush(CreateSolidBrush(colour));
        win::Pen pen(CreatePen(PS_SOLID, 1, colour));
        win::SelectObjectScope b(dc, brush.Get());
        win::SelectObjectScope p(dc, pen.Get());
        Ellipse(dc, cx - d, cy - d, cx + d + 1, cy + d + 1);
        return;
    }
    const int u = std::max(1, size / 6);
    win::Pen pen(CreatePen(PS_SOLID, 2, colour));
    win::SelectObjectScope p(dc, pen.Get());
    MoveToEx(dc, cx - 2 * u, cy, nullptr);
    LineTo(dc, cx - u / 2, cy + 3 * u / 2);
    LineTo(dc, cx + 2 * u, cy - 2 * u);
}

} // namespace

bool BuildMenus(const MenuSources& sources) {
    g_state.set.reset();
    auto set = std::make_unique<MenuSet>();
    set->container = CreateMenu();
    if (!set->container)
        return false;
    for (HMENU& m : set->popups)
        if (!(m = CreatePopupMenu()))
            return false;
    for (const Layout& l : FixedLayouts())
        if (!FillFixed(*set, l, sources.slots))
            return false;
    if (!FillTools(*set, sources) || !FillFavourites(*set, sources) || !FillContainer(*set))
        return false;
    g_state.set = std::move(set);
    return true;
}

void DestroyMenus() {
    g_state.set.reset();
    g_state.foreign.clear();
}

HMENU PopupMenu(int popup) {
    if (!g_state.set || popup < 0 || popup >= kPopupCount)
        return nullptr;
    return g_state.set->popups[static_cast<size_t>(popup)];
}

HMENU ContainerMenu() { return g_state.set ? g_state.set->container : nullptr; }

int PopupIndexOf(HMENU menu) {
    if (!g_state.set || !menu)
        return -1;
    for (int i = 0; i < kPopupCount; ++i)
        if (g_state.set->popups[static_cast<size_t>(i)] == menu)
            return i;
    return -1;
}

void SetMenuMetrics(HFONT font, int checkWidth, int itemHeight) {
    g_state.metrics.font = font;
    g_state.metrics.checkWidth = checkWidth;
    g_state.metrics.itemHeight = itemHeight;
}

bool MeasureMenuItem(MEASUREITEMSTRUCT* mis) {
    if (!mis || mis->CtlType != ODT_MENU)
        return false;
    const MenuItemData* r = Find(mis->itemData);
    if (!r)
        return false;
    win::WindowDC dc(nullptr);
    win::SelectObjectScope select(dc.Get(), MenuFont());
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc.Get(), &tm);
    const int textHeight = static_cast<int>(tm.tmHeight);
    const int check = CheckColumn();
    if (r->flags & kItemSeparator) {
        mis->itemWidth = static_cast<UINT>(check);
        mis->itemHeight = static_cast<UINT>(std::max(5, textHeight / 2));
        return true;
    }
    RECT caption = {0, 0, 0, 0};
    DrawTextW(dc.Get(), r->caption.c_str(), static_cast<int>(r->caption.size()), &caption, DT_CALCRECT | DT_SINGLELINE);
    int width = check + (caption.right - caption.left) + check;
    const std::wstring shortcut = r->modifier + r->key;
    if (!shortcut.empty()) {
        // The extent keeps trailing blanks ("[Num] 0 ").
        SIZE size = {};
        GetTextExtentPoint32W(dc.Get(), shortcut.c_str(), static_cast<int>(shortcut.size()), &size);
        width += Gap(textHeight) + size.cx;
    }
    mis->itemWidth = static_cast<UINT>(width);
    mis->itemHeight = static_cast<UINT>(std::max(g_state.metrics.itemHeight, textHeight + 4));
    return true;
}

bool DrawMenuItem(const DRAWITEMSTRUCT* dis) {
    if (!dis || dis->CtlType != ODT_MENU)
        return false;
    const MenuItemData* r = Find(dis->itemData);
    if (!r)
        return false;
    HDC dc = dis->hDC;
    const RECT& rc = dis->rcItem;
    FillRect(dc, &rc, GetSysColorBrush(COLOR_MENU));
    if (r->flags & kItemSeparator) {
        DrawSeparator(dc, rc);
        return true;
    }
    const UINT state = dis->itemState;
    const bool grey = (state & (ODS_GRAYED | ODS_DISABLED)) != 0;
    if (state & ODS_SELECTED)
        FillFramed(dc, rc, kHotFill, kHotFrame);
    const COLORREF text = GetSysColor(grey ? COLOR_GRAYTEXT : COLOR_MENUTEXT);
    const int check = CheckColumn();
    if (state & ODS_CHECKED) {
        const RECT column = {rc.left, rc.top, rc.left + check, rc.bottom};
        DrawCheck(dc, column, (r->flags & kItemRadio) != 0, text);
    }
    win::SelectObjectScope select(dc, MenuFont());
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, text);
    RECT area = {rc.left + check, rc.top, rc.right - check, rc.bottom};
    const UINT prefix = (state & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
    DrawTextW(dc, r->caption.c_str(), static_cast<int>(r->caption.size()), &area,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | prefix);
    const std::wstring shortcut = r->modifier + r->key;
    if (!shortcut.empty())
        DrawTextW(dc, shortcut.c_str(), static_cast<int>(shortcut.size()), &area,
                  DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    return true;
}

void ApplyStates(HMENU menu, const MenuFacts& facts) {
    const int popup = PopupIndexOf(menu);
    if (popup < 0 || popup == kTreeContextMenu)
        return;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_SUBMENU;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii))
            continue;
        if ((mii.fType & MFT_SEPARATOR) || mii.hSubMenu)
            continue;
        const CommandState s = StateOf(static_cast<int>(mii.wID), facts);
        EnableMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | (s.enabled ? MF_ENABLED : MF_GRAYED));
        CheckMenuItem(menu, static_cast<UINT>(i), MF_BYPOSITION | (s.checked ? MF_CHECKED : MF_UNCHECKED));
    }
}

void OwnerDraw(HMENU menu, const shortcuts::SlotTable* slots) {
    PurgeForeign();
    if (!menu || !IsMenu(menu))
        return;
    ForeignMenu* entry = nullptr;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT pos = static_cast<UINT>(i);
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_DATA | MIIM_SUBMENU | MIIM_STRING;
        if (!GetMenuItemInfoW(menu, pos, TRUE, &mii))
            continue;
        if (mii.hSubMenu)
            OwnerDraw(mii.hSubMenu, slots);
        // Items already owner-drawn, pictures, and items whose data belongs to their maker stay as
        // they are.
        if ((mii.fType & (MFT_OWNERDRAW | MFT_BITMAP)) || mii.dwItemData)
            continue;
        MenuItemData r;
        r.command = static_cast<int>(mii.wID);
        MENUITEMINFOW set = {};
        set.cbSize = sizeof set;
        set.fMask = MIIM_FTYPE | MIIM_DATA;
        if (mii.fType & MFT_SEPARATOR) {
            r.flags = kItemSeparator;
        } else {
            std::wstring text(mii.cch + 1, L'\0');
            mii.fMask = MIIM_STRING;
            mii.dwTypeData = &text[0];
            mii.cch += 1;
            if (!GetMenuItemInfoW(menu, pos, TRUE, &mii))
                continue;
            text.resize(mii.cch);
            r.caption = text;
            if (mii.fType & MFT_RADIOCHECK)
                r.flags |= kItemRadio;
            if (mii.hSubMenu)
                r.flags |= kItemSubMenu;
            SetShortcut(r, slots);
            set.fMask |= MIIM_STRING;
        }
        if (!entry)
            entry = &ForeignEntry(menu);
        MenuItemData* record = entry->records.Add(std::move(r));
        set.fType = mii.fType | MFT_OWNERDRAW;
        set.dwItemData = reinterpret_cast<ULONG_PTR>(record);
        set.dwTypeData = const_cast<wchar_t*>(record->caption.c_str());
        SetMenuItemInfoW(menu, pos, TRUE, &set);
    }
}

size_t ItemRecordCount() { return g_state.known.size(); }

} // namespace menus
