# Project-wide helpers. Per-platform sources are picked by their suffix:
#   *_posix.cpp on every Unix, *_linux.cpp on Linux, *_win32.cpp on Windows.
# Files named *_main.cpp are program entry points and never go into a library.

function(zorbel_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    # GCC 12's optimiser reports std::string and std::array copies it has
    # inlined as overlapping or out of bounds (false positives fixed in 13);
    # keep them visible, but not fatal.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE
        -Wno-error=restrict -Wno-error=array-bounds -Wno-error=stringop-overflow)
    endif()
  endif()
endfunction()

# zorbel_sources(<out-var> <dir>...) collects the .cpp files of the folders
# (not their subfolders) that belong to this platform.
function(zorbel_sources out)
  set(result)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
    foreach(f ${found})
      get_filename_component(name ${f} NAME)
      if(name MATCHES "_main\\.cpp$")
        continue()
      elseif(name MATCHES "_win32\\.cpp$" AND NOT WIN32)
        continue()
      elseif(name MATCHES "_posix\\.cpp$" AND NOT UNIX)
        continue()
      elseif(name MATCHES "_linux\\.cpp$" AND NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
        continue()
      endif()
      list(APPEND result ${f})
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# zorbel_library(<name> DIRS <dir>... [DEPS <target>...]) builds a static
# library from the folders, or an interface target while a folder is empty.
function(zorbel_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPS" ${ARGN})
  zorbel_sources(srcs ${ARG_DIRS})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} Threads::Threads)
    zorbel_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} Threads::Threads)
  endif()
endfunction()
