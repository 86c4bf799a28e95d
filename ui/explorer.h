// RevealInExplorer: a new Explorer window with the item selected. Explorer is started from the
// Windows directory with "  /n,/e,/select,  " and the quoted path; nothing waits for it.
#pragma once

#include <string_view>

namespace vessiko {

void RevealInExplorer(std::u16string_view path);

}  // namespace vessiko
