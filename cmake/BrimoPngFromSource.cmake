# libpng and zlib compiled from the Debian source packages that scripts/setup unpacks into
# BRIMO_THIRD_PARTY: for the Windows cross-build, which has no other, and for the PNG fuzz target,
# which needs them built with its coverage instrumentation. Targets: brimo_zlib, brimo_png
# (static, C only, built without our warning options).
# The newest unpacked version of each, whatever versions the archive served.
function(_brimo_newest_source out pattern marker)
  file(GLOB candidates LIST_DIRECTORIES true "${BRIMO_THIRD_PARTY}/${pattern}")
  set(found "")
  foreach(dir IN LISTS candidates)
    if(EXISTS "${dir}/${marker}")
      list(APPEND found "${dir}")
    endif()
  endforeach()
  list(SORT found COMPARE NATURAL)
  list(POP_BACK found newest)
  if(NOT newest)
    message(FATAL_ERROR "no ${pattern} source with ${marker} under ${BRIMO_THIRD_PARTY}: run scripts/setup")
  endif()
  set(${out} "${newest}" PARENT_SCOPE)
endfunction()
_brimo_newest_source(_zlib_dir "zlib-*" zlib.h)
_brimo_newest_source(_png_dir "libpng1.6-*" png.h)

if(NOT TARGET brimo_zlib)
  add_library(brimo_zlib STATIC
    ${_zlib_dir}/adler32.c ${_zlib_dir}/compress.c ${_zlib_dir}/crc32.c ${_zlib_dir}/deflate.c
    ${_zlib_dir}/gzclose.c ${_zlib_dir}/gzlib.c ${_zlib_dir}/gzread.c ${_zlib_dir}/gzwrite.c
    ${_zlib_dir}/infback.c ${_zlib_dir}/inffast.c ${_zlib_dir}/inflate.c ${_zlib_dir}/inftrees.c
    ${_zlib_dir}/trees.c ${_zlib_dir}/uncompr.c ${_zlib_dir}/zutil.c)
  target_include_directories(brimo_zlib SYSTEM PUBLIC ${_zlib_dir})
  target_compile_options(brimo_zlib PRIVATE -w)

  set(_png_conf_dir "${CMAKE_BINARY_DIR}/third_party/libpng")
  configure_file(${_png_dir}/scripts/pnglibconf.h.prebuilt ${_png_conf_dir}/pnglibconf.h COPYONLY)
  add_library(brimo_png STATIC
    ${_png_dir}/png.c ${_png_dir}/pngerror.c ${_png_dir}/pngget.c ${_png_dir}/pngmem.c
    ${_png_dir}/pngpread.c ${_png_dir}/pngread.c ${_png_dir}/pngrio.c ${_png_dir}/pngrtran.c
    ${_png_dir}/pngrutil.c ${_png_dir}/pngset.c ${_png_dir}/pngtrans.c ${_png_dir}/pngwio.c
    ${_png_dir}/pngwrite.c ${_png_dir}/pngwtran.c ${_png_dir}/pngwutil.c)
  target_include_directories(brimo_png SYSTEM PUBLIC ${_png_dir} ${_png_conf_dir})
  target_compile_options(brimo_png PRIVATE -w)
  target_link_libraries(brimo_png PUBLIC brimo_zlib)
endif()
