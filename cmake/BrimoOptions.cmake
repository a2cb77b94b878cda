include(BrimoAdaptor)

# Compiler options for our own targets (dependencies are built without them).
#
# Floating-point contraction and fast-math are off everywhere so the signal path gives the same
# samples on every build; the equaliser's tests compare results bit for bit. Warnings are errors
# only where we choose the compiler (the test and CI presets), so a newer compiler's new warnings
# never break a user's build.
option(BRIMO_WERROR "Treat warnings in our own code as errors" OFF)

function(brimo_target_options target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -ffp-contract=off -fno-fast-math)
    if(BRIMO_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  if(WIN32)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _USE_MATH_DEFINES)
  endif()
endfunction()

if(CMAKE_CROSSCOMPILING AND WIN32)
  # One self-contained executable or DLL: no mingw runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
