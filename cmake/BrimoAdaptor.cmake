# brimo_declare_adaptor(<target> <name>)
#
# Marks a library as a host adaptor. Each adaptor provides its own "PlugAdaptor.h", the base of the
# plug-in class, so a target linking two different adaptors would hold two different classes of
# one name: CMake refuses to generate it.
include_guard(GLOBAL)

function(brimo_declare_adaptor target name)
  set_property(TARGET ${target} PROPERTY INTERFACE_BRIMO_HOST_ADAPTOR ${name})
  set_property(TARGET ${target} APPEND PROPERTY COMPATIBLE_INTERFACE_STRING BRIMO_HOST_ADAPTOR)
endfunction()
