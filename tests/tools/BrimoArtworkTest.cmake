# Runs brimo-artwork at scales 1 and 2 and checks that its output equals the committed
# resources/img and resources/img2x byte for byte (so the generator and the images cannot drift,
# and the drawing is reproducible), that every image is 8-bit RGBA, and that each 2x image is
# exactly twice its 1x image in width and height (a film strip keeps its frame count, so its
# frames double too).
# cmake -DGENERATOR=<exe> -DREFERENCE=<resources> -DWORK=<scratch dir> -P BrimoArtworkTest.cmake
file(REMOVE_RECURSE "${WORK}")
foreach(scale 1 2)
  execute_process(COMMAND "${GENERATOR}" "${WORK}/x${scale}" --scale ${scale} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "brimo-artwork --scale ${scale} failed: ${rc}")
  endif()
endforeach()

# Width, height, bit depth and colour type from a PNG's IHDR.
function(png_header path out)
  file(READ "${path}" hex OFFSET 16 LIMIT 10 HEX)
  string(SUBSTRING "${hex}" 0 8 w)
  string(SUBSTRING "${hex}" 8 8 h)
  string(SUBSTRING "${hex}" 16 4 depth_type)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  set(${out} ${w} ${h} ${depth_type} PARENT_SCOPE)
endfunction()

set(_scales 1 2)
set(_folders img img2x)
foreach(scale folder IN ZIP_LISTS _scales _folders)
  file(GLOB committed RELATIVE "${REFERENCE}/${folder}" "${REFERENCE}/${folder}/*.png")
  file(GLOB generated RELATIVE "${WORK}/x${scale}" "${WORK}/x${scale}/*.png")
  list(LENGTH committed count)
  if(NOT committed STREQUAL generated OR NOT count EQUAL 13)
    message(FATAL_ERROR "${folder}: committed ${committed}, generated ${generated}")
  endif()
  foreach(name IN LISTS committed)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${REFERENCE}/${folder}/${name}"
                            "${WORK}/x${scale}/${name}" RESULT_VARIABLE differs)
    if(differs)
      message(FATAL_ERROR "${folder}/${name} differs from the generator's: run the artwork target")
    endif()
  endforeach()
endforeach()

foreach(name IN LISTS committed)
  png_header("${WORK}/x1/${name}" one)
  png_header("${WORK}/x2/${name}" two)
  list(GET one 0 w)
  list(GET one 1 h)
  math(EXPR w "2 * ${w}")
  math(EXPR h "2 * ${h}")
  if(NOT one MATCHES ";0806$" OR NOT two STREQUAL "${w};${h};0806")
    message(FATAL_ERROR "${name}: scale 1 is ${one}, scale 2 is ${two} (want 8-bit RGBA, doubled)")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
