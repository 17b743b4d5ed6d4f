// Command ids: every action a menu item, toolbar button, accelerator or mouse assignment can carry.
// The settings store them and the folder tree has its own among them, so they live below both.
#pragma once

namespace cmd {

// Menu-bar buttons 5000..5003 open the File, View, Tools and Help menus.
constexpr int kMenuFile = 5000;
constexpr int kMenuView = 5001;
constexpr int kMenuTools = 5002;
constexpr int kMenuHelp = 5003;

constexpr int kEditComment = 5011;
constexpr int kDelete = 5020;
constexpr int kRename = 5030;
constexpr int kSelectAll = 5040;
constexpr int kWallpaper = 5050;
constexpr int kProperties = 5055;
constexpr int kExit = 5060;
constexpr int kPrint = 5070;

constexpr int kToggleTree = 5110;
constexpr int kPanesMenu = 5120; // sub-menu header
constexpr int kPane1Only = 5121;
constexpr int kPane2Only = 5122;
constexpr int kBothPanes = 5123;
constexpr int kCaptions = 5130;
constexpr int kCaptionLines = 5140;
constexpr int kReload = 5160;
constexpr int kStop = 5161;
constexpr int kForcedReload = 5162;
constexpr int kToggleHidden = 5170;
constexpr int kPreviewOnClick = 5180;

constexpr int kViewerView = 5210;       // companion viewer "/v"
constexpr int kViewerSlideShow = 5211;  // "/s"
constexpr int kViewerFullScreen = 5212; // "/f"
constexpr int kReader = 5213;
constexpr int kToolsMenu = 5229;        // sub-menu header
constexpr int kNoToolsPlaceholder = 5230;
constexpr int kToolFirst = 5231;        // ... 5238
constexpr int kOpenAssociated = 5239;
constexpr int kOptions = 5240;
constexpr int kStartViewer = 5250;

constexpr int kHelp = 5310;
constexpr int kViewerHelp = 5320;
constexpr int kAbout = 5330;

constexpr int kFitAcrossMenu = 5400; // toolbar drop-down
// Fit n thumbnails across: 5400 + n for n in 2, 3, 4, 6, 8, 12, 20.
constexpr int kFitAcrossBase = 5400;

// 5500 ... 5600: items of the tree area's context menus.
constexpr int kOpenInPane1 = 5500;
constexpr int kOpenInPane2 = 5501;
constexpr int kAddRootFolder = 5510;
constexpr int kRemoveRootFolder = 5511;
constexpr int kNewFolder = 5520;
constexpr int kRenameFolder = 5521;
constexpr int kDeleteFolder = 5522;
constexpr int kShowInExplorer = 5530;
constexpr int kExpandAtStart = 5535;
constexpr int kShowArchives = 5540;
constexpr int kExtractArchive = 5550;
constexpr int kZipStored = 5560;
constexpr int kZipDeflated = 5561;
constexpr int kExploreFolder = 5570;
constexpr int kChooseInfoItems = 5600;

constexpr int kFilterMenu = 5700; // toolbar drop-down
constexpr int kFilterFirst = 5701; // ... 5706
constexpr int kScrollFirst = 5710; // left, right, page up, page down, line up, line down
constexpr int kScrollLast = 5715;
constexpr int kScrollLineUp = 5714;
constexpr int kScrollLineDown = 5715;
constexpr int kOtherPane = 5720;
constexpr int kSwitchTreeTab = 5730;
constexpr int kPreviewUnderPointer = 5740;

constexpr int kSortMenu = 5800; // toolbar drop-down
constexpr int kSortFirst = 5801; // ... 5806
constexpr int kFavouriteFirst = 5810; // 5810 + i for favourite i

constexpr int kSeparator = 9900;

} // namespace cmd
