# add_channel_library(<target> GUID <guid> SOURCES <files...> [LINKS <targets...>]
#                     [FILE_NAME <name>])
#
# Builds one channel plug-in as <build>/channels/<GUID>.dll. The file name is also
# the library's soname, so a plug-in linked against a sibling library and the engine's
# own load of that sibling by path resolve to one loaded copy (FILE_NAME names a library
# that is not called after its GUID, such as the file channels). The $ORIGIN run path
# lets a plug-in find its sibling libraries beside it and Corvane.dll one folder up.
function(add_channel_library target)
  cmake_parse_arguments(ARG "" "GUID;FILE_NAME" "SOURCES;LINKS" ${ARGN})
  if(NOT ARG_GUID)
    message(FATAL_ERROR "add_channel_library(${target}) needs GUID")
  endif()
  string(TOUPPER "${ARG_GUID}" guid)
  set(file_name "${guid}")
  if(ARG_FILE_NAME)
    set(file_name "${ARG_FILE_NAME}")
  endif()
  add_library(${target} SHARED ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME "${file_name}"
    SUFFIX ".dll"
    NO_SONAME OFF
    LIBRARY_OUTPUT_DIRECTORY ${VANTREL_CHANNELS_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${VANTREL_CHANNELS_DIR}
    BUILD_RPATH "$ORIGIN;$ORIGIN/.."
    INSTALL_RPATH "$ORIGIN;$ORIGIN/.."
    CXX_VISIBILITY_PRESET default)
  vantrel_shared_library_links(${target} "${file_name}.dll")
  target_link_libraries(${target} PUBLIC plugin_frame Corvane ${ARG_LINKS})
  target_compile_definitions(${target} PRIVATE CHANNEL_TYPE_GUID="${guid}")
endfunction()

# Link options every shared library of ours takes. On Windows each DLL exports all its
# symbols (a plug-in derives from its sibling's classes and calls the engine's), and the
# loader finds a library already loaded under the same name, so no run path is needed.
function(vantrel_shared_library_links target file_name)
  if(WIN32)
    # Only its own objects: the static libraries each DLL links (the C++ runtime among them)
    # stay private to it.
    target_link_options(${target} PRIVATE "-Wl,--export-all-symbols" "-Wl,--exclude-libs,ALL"
                        "-Wl,--no-undefined")
  else()
    target_link_options(${target} PRIVATE "-Wl,-soname,${file_name}" "-Wl,--no-undefined")
  endif()
endfunction()
