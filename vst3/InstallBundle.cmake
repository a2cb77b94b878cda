# cmake -DBUNDLE=<path to BRIMO.vst3> -P InstallBundle.cmake
# Copies the bundle into $HOME/.vst3, replacing an older copy as a whole.
if(NOT BUNDLE OR NOT IS_DIRECTORY "${BUNDLE}")
  message(FATAL_ERROR "no bundle at '${BUNDLE}'")
endif()
if(NOT DEFINED ENV{HOME} OR "$ENV{HOME}" STREQUAL "")
  message(FATAL_ERROR "HOME is not set")
endif()
get_filename_component(name "${BUNDLE}" NAME)
set(dest "$ENV{HOME}/.vst3")
file(MAKE_DIRECTORY "${dest}")
file(REMOVE_RECURSE "${dest}/${name}")
file(COPY "${BUNDLE}" DESTINATION "${dest}")
message(STATUS "Installed ${dest}/${name}")
