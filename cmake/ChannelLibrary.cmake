# add_channel_library(<target> GUID <guid> SOURCES <files...> [LINKS <targets...>])
#
# Builds one channel plug-in as <build>/channels/<GUID>.dll. The file name is also
# the library's soname, so a plug-in linked against a sibling library and the engine's
# own load of that sibling by path resolve to one loaded copy. The $ORIGIN run path
# lets a plug-in find its sibling libraries beside it and Corvane.dll one folder up.
function(add_channel_library target)
  cmake_parse_arguments(ARG "" "GUID" "SOURCES;LINKS" ${ARGN})
  if(NOT ARG_GUID)
    message(FATAL_ERROR "add_channel_library(${target}) needs GUID")
  endif()
  string(TOUPPER "${ARG_GUID}" guid)
  add_library(${target} SHARED ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME "${guid}"
    SUFFIX ".dll"
    NO_SONAME OFF
    LIBRARY_OUTPUT_DIRECTORY ${VANTREL_CHANNELS_DIR}
    BUILD_RPATH "$ORIGIN;$ORIGIN/.."
    INSTALL_RPATH "$ORIGIN;$ORIGIN/.."
    CXX_VISIBILITY_PRESET default)
  target_link_options(${target} PRIVATE "-Wl,-soname,${guid}.dll" "-Wl,--no-undefined")
  target_link_libraries(${target} PUBLIC plugin_frame Corvane ${ARG_LINKS})
  target_compile_definitions(${target} PRIVATE CHANNEL_TYPE_GUID="${guid}")
endfunction()
