// Which commands this build carries out. The main window dispatches them (main_window_win.cpp);
// menus and toolbars grey the ones that are not carried out.
#pragma once

#include "app/commands.h"

namespace cmd {

// Whether this build carries the command out. Commands whose subsystem is not built yet (the
// companion viewer and external programs, wallpaper, printing, options, the version
// box) are shown greyed instead of doing nothing when chosen.
constexpr bool CarriedOut(int command) {
    switch (command) {
    case kWallpaper:
    case kPrint:
    case kViewerView:
    case kViewerSlideShow:
    case kViewerFullScreen:
    case kReader:
    case kOpenAssociated:
    case kOptions:
    case kStartViewer:
    case kAbout:
        return false;
    default:
        return !(command >= kToolFirst && command < kToolFirst + 8);
    }
}

} // namespace cmd
