# The VST3 SDK's helper classes as static libraries, built from the SDK copy at BRIMO_VST3_SDK.
#
#   brimo_vst3_sdk          - pluginterfaces, base and the public.sdk classes the plug-in derives from
#   brimo_vst3_sdk_hosting  - public.sdk/source/vst/hosting: the host-side classes used by our host code
#
# These are dependencies: they get no brimo_target_options (no -Werror) and their include dirs are
# SYSTEM so their warnings do not reach our targets.
include_guard(GLOBAL)

set(_sdk "${BRIMO_VST3_SDK}")
if(NOT EXISTS "${_sdk}/pluginterfaces/base/funknown.h")
  message(FATAL_ERROR "VST3 SDK not found at BRIMO_VST3_SDK=${_sdk}")
endif()

file(GLOB _sdk_base_sources "${_sdk}/base/source/*.cpp")
file(GLOB _sdk_iface_sources "${_sdk}/pluginterfaces/base/*.cpp")
add_library(brimo_vst3_sdk STATIC
  ${_sdk_base_sources}
  ${_sdk_iface_sources}
  "${_sdk}/base/thread/source/flock.cpp"
  "${_sdk}/public.sdk/source/common/memorystream.cpp"
  "${_sdk}/public.sdk/source/common/pluginview.cpp"
  "${_sdk}/public.sdk/source/vst/vstbus.cpp"
  "${_sdk}/public.sdk/source/vst/vstcomponent.cpp"
  "${_sdk}/public.sdk/source/vst/vstcomponentbase.cpp"
  "${_sdk}/public.sdk/source/vst/vsteditcontroller.cpp"
  "${_sdk}/public.sdk/source/vst/vstinitiids.cpp"
  "${_sdk}/public.sdk/source/vst/vstparameters.cpp"
  # Editor interface identifiers that this SDK copy declares but never defines.
  "${CMAKE_CURRENT_LIST_DIR}/../vst3/SdkGuiIids.cpp")
target_include_directories(brimo_vst3_sdk SYSTEM PUBLIC "${_sdk}")
target_compile_definitions(brimo_vst3_sdk PUBLIC RELEASE=1)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # Third-party code: keep its (many) warnings out of our build logs.
  target_compile_options(brimo_vst3_sdk PRIVATE -w)
endif()
find_package(Threads REQUIRED)
target_link_libraries(brimo_vst3_sdk PUBLIC Threads::Threads)
if(WIN32)
  # The SDK's Windows paths use COM helpers (CoCreateGuid, string conversion) and OLE strings.
  target_link_libraries(brimo_vst3_sdk PUBLIC ole32 oleaut32 uuid)
endif()

file(GLOB _sdk_hosting_sources "${_sdk}/public.sdk/source/vst/hosting/*.cpp")
add_library(brimo_vst3_sdk_hosting STATIC ${_sdk_hosting_sources}
  "${_sdk}/public.sdk/source/vst/vstpresetfile.cpp")
target_link_libraries(brimo_vst3_sdk_hosting PUBLIC brimo_vst3_sdk)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(brimo_vst3_sdk_hosting PRIVATE -w)
endif()
