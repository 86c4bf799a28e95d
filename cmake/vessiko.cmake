# Helpers shared by the project's CMake files.

# A library of the project: warnings on, the repository root as include root.
function(vessiko_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE vessiko_warnings)
endfunction()

# The pinyin rank table: a resource of every Windows executable that collates names.
set(VESSIKO_RANK_TABLE ${PROJECT_SOURCE_DIR}/index/data/zisort.bin)
if(WIN32)
  configure_file(${PROJECT_SOURCE_DIR}/platform/win32/rank_table.rc.in
                 ${PROJECT_BINARY_DIR}/rank_table.rc @ONLY)
endif()

# An executable of the project; on Windows it carries the rank table resource.
function(vessiko_executable name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE vessiko_warnings)
  if(WIN32)
    target_sources(${name} PRIVATE ${PROJECT_BINARY_DIR}/rank_table.rc)
  endif()
endfunction()
