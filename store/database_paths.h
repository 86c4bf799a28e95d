// Where the two database files live: beside the program (the Windows program), or in a folder
// the Linux face chooses. Until then the defaults name the root of drive C, as the program has
// always had them.
#pragma once

#include <string>

namespace vessiko {

struct DatabasePaths {
  std::string core = "c:\\kavume_core.db";
  std::string extensions = "c:\\kavume_ext.db";

  // The two files in a folder, joined with the folder separator of the system at hand.
  static DatabasePaths inFolder(const std::string& folder, char separator) {
    DatabasePaths paths;
    paths.core = folder + separator + "kavume_core.db";
    paths.extensions = folder + separator + "kavume_ext.db";
    return paths;
  }
};

}  // namespace vessiko
