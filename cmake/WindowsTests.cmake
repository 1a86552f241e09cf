# Tests of the Windows build run under Wine. Each test program runs once as one ctest test
# (starting Wine costs far more than a test case), through cmake/wine-run.sh, which keeps a
# private Wine prefix under the build folder and puts the channel folder on the search path
# for the programs that link channel libraries directly.
set(VANTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# The runtime DLLs our programs and libraries load: the C++ runtime (shared, so one copy of
# each template instance the DLLs export and the programs use), the thread library the
# posix thread model links against, and ODE. Copied beside the programs and into the
# channel folder.
find_file(VANTREL_WINPTHREAD_DLL libwinpthread-1.dll
          PATHS /usr/${VANTREL_MINGW_TRIPLE}/lib /usr/lib/gcc/${VANTREL_MINGW_TRIPLE}
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(GLOB VANTREL_GCC_RUNTIME_DLLS /usr/lib/gcc/${VANTREL_MINGW_TRIPLE}/*-posix/libstdc++-6.dll
     /usr/lib/gcc/${VANTREL_MINGW_TRIPLE}/*-posix/libgcc_s_seh-1.dll)
find_file(VANTREL_ODE_DLL NAMES libode_double.dll libode.dll PATHS ${VANTREL_WINDOWS_PREFIX}/bin
          NO_CMAKE_FIND_ROOT_PATH)
foreach(dll ${VANTREL_WINPTHREAD_DLL} ${VANTREL_GCC_RUNTIME_DLLS} ${VANTREL_ODE_DLL})
  if(dll)
    file(COPY ${dll} DESTINATION ${CMAKE_BINARY_DIR})
    file(COPY ${dll} DESTINATION ${VANTREL_CHANNELS_DIR})
  endif()
endforeach()

# gtest_discover_tests as one test per program: PROPERTIES are kept, discovery options
# (DISCOVERY_TIMEOUT, ...) have nothing to do here.
function(gtest_discover_tests target)
  cmake_parse_arguments(ARG "" "DISCOVERY_TIMEOUT;TEST_PREFIX;TEST_SUFFIX;WORKING_DIRECTORY"
                        "PROPERTIES;EXTRA_ARGS" ${ARGN})
  add_test(NAME ${target} COMMAND ${target} ${ARG_EXTRA_ARGS})
  if(ARG_WORKING_DIRECTORY)
    set_tests_properties(${target} PROPERTIES WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY})
  endif()
  if(ARG_PROPERTIES)
    set_tests_properties(${target} PROPERTIES ${ARG_PROPERTIES})
  endif()
endfunction()
