#include "folder/location_source.h"

namespace folder {

// No shell namespace outside Windows.
bool ShellSource::List(PaneLocation&, const ListRequest&, ArchiveListing*) const { return false; }

} // namespace folder
