// OpenShortcutTarget: starts what a shortcut (.lnk) points at, with its arguments, as the shell
// does. The link is resolved without asking the user; a link that cannot be loaded, or that
// names no target, starts nothing.
#pragma once

#include <string_view>

namespace vessiko {

void OpenShortcutTarget(std::u16string_view path);

}  // namespace vessiko
