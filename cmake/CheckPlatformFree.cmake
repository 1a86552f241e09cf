# Fails when a file under plugins/ or plugin_frame/ reaches the operating system itself:
# a system header other than the C++ standard library's, the project's own and the
# libraries the plug-ins are built on (ODE, GLU, the test frameworks), or the name _WIN32.
# Everything platform-dependent goes through platform/.
#   cmake -DSOURCE_DIR=<repository> -P CheckPlatformFree.cmake
cmake_minimum_required(VERSION 3.20)
set(standard_headers
  algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv
  chrono cinttypes climits clocale cmath codecvt compare complex concepts condition_variable
  coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar
  cwchar cwctype deque exception execution expected filesystem format forward_list fstream
  functional future initializer_list iomanip ios iosfwd iostream istream iterator latch
  limits list locale map memory memory_resource mutex new numbers numeric optional ostream
  queue random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location
  span sstream stack stdexcept stop_token streambuf string string_view syncstream
  system_error thread tuple type_traits typeindex typeinfo unordered_map unordered_set
  utility valarray variant vector version)
# Libraries the plug-ins are built on, the same on every platform.
set(library_headers ode/ode.h GL/glu.h)
set(library_prefixes gtest/ gmock/ benchmark/)

# The project's own include roots: every folder inside an include/ folder of ours.
file(GLOB include_roots LIST_DIRECTORIES true
     ${SOURCE_DIR}/*/include/* ${SOURCE_DIR}/*/*/include/*)
set(project_prefixes "")
foreach(root ${include_roots})
  if(IS_DIRECTORY ${root})
    get_filename_component(name ${root} NAME)
    list(APPEND project_prefixes "${name}/")
  endif()
endforeach()

file(GLOB_RECURSE files ${SOURCE_DIR}/plugins/*.h ${SOURCE_DIR}/plugins/*.cpp
     ${SOURCE_DIR}/plugin_frame/*.h ${SOURCE_DIR}/plugin_frame/*.cpp)
set(failures "")
foreach(file ${files})
  file(STRINGS ${file} lines)
  file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
  foreach(line IN LISTS lines)
    if(line MATCHES "_WIN32")
      list(APPEND failures "${shown}: names _WIN32")
    endif()
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
      set(header ${CMAKE_MATCH_1})
      set(allowed FALSE)
      if(header IN_LIST standard_headers OR header IN_LIST library_headers)
        set(allowed TRUE)
      endif()
      foreach(prefix ${project_prefixes} ${library_prefixes})
        string(FIND "${header}" "${prefix}" at)
        if(at EQUAL 0)
          set(allowed TRUE)
        endif()
      endforeach()
      if(NOT allowed)
        list(APPEND failures "${shown}: includes <${header}>")
      endif()
    endif()
  endforeach()
endforeach()
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Platform calls outside platform/:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "${count} files under plugins/ and plugin_frame/ use the platform layer only")
